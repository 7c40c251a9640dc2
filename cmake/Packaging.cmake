# Installing (cmake --install build --prefix P) and the Debian package (cpack -G DEB).
# The layout follows the FHS: programs in bin/, desktop files under share/, the help
# pages and the package papers in share/doc/winmarlet.
include(GNUInstallDirs)

set(wm_res ${PROJECT_SOURCE_DIR}/resources)
set(wm_gen ${PROJECT_BINARY_DIR}/packaging)

# Manual pages and the changelog are installed compressed, as Debian expects
# (gzip -9n: no name or time stamp, so the package is reproducible).
set(wm_gzipped)
foreach(src man/winmarlet.1 man/winmarlet-demobbs.1 linux/changelog)
  get_filename_component(name ${src} NAME)
  add_custom_command(OUTPUT ${wm_gen}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${wm_gen}
    COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${wm_res}/${src} ${wm_gen}/${name}.gz
    DEPENDS ${wm_res}/${src}
    VERBATIM)
  list(APPEND wm_gzipped ${wm_gen}/${name}.gz)
endforeach()
add_custom_target(wm_packaging_files ALL DEPENDS ${wm_gzipped})

install(TARGETS winmarlet winmarlet-demobbs RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The TLS and SSH transports, opened by the program from bin/../lib/winmarlet.
install(TARGETS winmarlet-secure LIBRARY DESTINATION lib/winmarlet)
install(FILES ${wm_res}/linux/winmarlet.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${wm_res}/linux/invalid.winmarlet.winmarlet.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${wm_res}/icons/winmarlet.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${wm_res}/icons/winmarlet-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME winmarlet.png)
endforeach()
install(FILES ${wm_gen}/winmarlet.1.gz ${wm_gen}/winmarlet-demobbs.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The program carries its help inside; the pages are installed for reading without it.
file(GLOB wm_help_pages CONFIGURE_DEPENDS ${wm_res}/help/*.html ${wm_res}/help/*.css)
install(FILES ${wm_help_pages} DESTINATION ${CMAKE_INSTALL_DOCDIR}/html)
install(FILES ${wm_res}/linux/copyright ${wm_gen}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME winmarlet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the winMarlet developers")
set(CPACK_PACKAGE_CONTACT "Seed 070aa209 maintainers <maintainers@users.noreply.c-seed-070aa209.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client for text bulletin-board systems (BBSs)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The long description (CPack puts the summary before it and indents it).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "winMarlet connects to text bulletin-board systems over TCP. It speaks plain
Telnet and the ORVO CLient and ISCA Client protocols, and shows what the BBS
sends in a colour terminal with a scrollback, VT52 and ANSI codes and code
page 437 box drawing. Prompts, express messages and posts are written in an
offline editor and uploaded in one piece. It opens telnet:// links.

The package also holds winmarlet-demobbs, a small BBS on 127.0.0.1 for
trying the client.")
include(CPack)
