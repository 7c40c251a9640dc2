# wm_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI])
# A GoogleTest program registered with CTest. GUI tests get a QApplication on the
# offscreen platform; the others a QCoreApplication (socket tests need an event loop).
function(wm_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${name} PRIVATE ${T_LIBS} wm_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} wm_test_main_core)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
endfunction()

# wm_add_fuzzer(NAME SOURCES a.cpp LIBS lib1): a libFuzzer target (fuzz build only).
function(wm_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# wm_subsystem(NAME DEPS dep... QT_DEPS dep...)
# The folder's *.cpp form the static library wm_NAME (Qt-free unless DEPS name Qt);
# its qt/*.cpp form wm_NAME_qt, built only with Qt. Dependencies that do not exist
# yet are skipped, so a subsystem can be built before the ones it will use.
function(wm_subsystem name)
  cmake_parse_arguments(S "" "" "DEPS;QT_DEPS" ${ARGN})
  file(GLOB core CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB core_h CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(core)
    add_library(wm_${name} STATIC ${core} ${core_h})
    target_include_directories(wm_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    foreach(d ${S_DEPS})
      target_link_libraries(wm_${name} PUBLIC $<TARGET_NAME_IF_EXISTS:${d}>)
    endforeach()
  endif()
  if(WM_WITH_QT)
    file(GLOB qt CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/qt/*.cpp)
    file(GLOB qt_h CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/qt/*.h)
    if(qt)
      add_library(wm_${name}_qt STATIC ${qt} ${qt_h})
      target_include_directories(wm_${name}_qt PUBLIC ${PROJECT_SOURCE_DIR})
      target_link_libraries(wm_${name}_qt PUBLIC Qt6::Widgets)
      if(core)
        target_link_libraries(wm_${name}_qt PUBLIC wm_${name})
      endif()
      foreach(d ${S_QT_DEPS})
        target_link_libraries(wm_${name}_qt PUBLIC $<TARGET_NAME_IF_EXISTS:${d}>)
      endforeach()
    endif()
  endif()
endfunction()

# wm_subsystem_tests(NAME [LIBS extra...]): every tests/NAME/test_*.cpp is a test
# program linked with wm_NAME; every tests/NAME/qt/test_*.cpp a GUI test program
# linked with wm_NAME_qt. One program per file keeps one broken file from
# stopping the others.
function(wm_subsystem_tests name)
  cmake_parse_arguments(S "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  foreach(src ${srcs})
    get_filename_component(base ${src} NAME_WE)
    wm_add_test(${name}_${base} SOURCES ${src} LIBS $<TARGET_NAME_IF_EXISTS:wm_${name}> Qt6::Test ${S_LIBS})
  endforeach()
  file(GLOB qsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/qt/test_*.cpp)
  foreach(src ${qsrcs})
    get_filename_component(base ${src} NAME_WE)
    wm_add_test(${name}_qt_${base} GUI SOURCES ${src} LIBS $<TARGET_NAME_IF_EXISTS:wm_${name}_qt> Qt6::Test ${S_LIBS})
  endforeach()
endfunction()
