#!/usr/bin/env bash
# check_install.sh BUILD VERSION install|deb
#   install: installs into a temporary prefix, runs the installed programs with
#            --version and validates the desktop entry and the metainfo;
#   deb:     builds the Debian package and checks that it holds what the install
#            puts in place, and that lintian (when present) finds no errors.
# Exit 77 tells CTest a tool is missing (the test is skipped).
set -euo pipefail
build=$1 version=$2 what=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/usr" >/dev/null
(cd "$tmp" && find usr ! -type d | sort) >"$tmp/installed"

case $what in
install)
  for prog in winmarlet winmarlet-demobbs; do
    out=$(QT_QPA_PLATFORM=offscreen "$tmp/usr/bin/$prog" --version)
    [ "${out%%$'\n'*}" = "$prog (winMarlet) $version" ] || { echo "$prog --version: $out"; exit 1; }
  done
  # --help needs no display and touches no settings file.
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" "$tmp/usr/bin/winmarlet" --help | grep -q '^Usage: winmarlet '
  [ ! -e "$tmp/home" ] || { echo "--help wrote into the home folder"; exit 1; }
  grep -qx 'usr/share/man/man1/winmarlet.1.gz' "$tmp/installed"
  grep -qx 'usr/lib/winmarlet/winmarlet-secure.so' "$tmp/installed"
  grep -qx 'usr/share/icons/hicolor/256x256/apps/winmarlet.png' "$tmp/installed"
  grep -qx 'usr/share/doc/winmarlet/html/index.html' "$tmp/installed"
  skipped=0
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$tmp/usr/share/applications/winmarlet.desktop"
  else
    echo "desktop-file-validate missing: desktop entry not validated"; skipped=1
  fi
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$tmp"/usr/share/metainfo/*.metainfo.xml
  else
    echo "appstreamcli missing: metainfo not validated"; skipped=1
  fi
  [ $skipped = 0 ] || exit 77
  ;;
deb)
  command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null ||
    { echo "dpkg-deb or dpkg-shlibdeps missing (dpkg-dev): no package built"; exit 77; }
  (cd "$build" && cpack -G DEB -B "$tmp/pkg" >"$tmp/cpack.log") || { cat "$tmp/cpack.log"; exit 1; }
  deb=$(echo "$tmp"/pkg/winmarlet_"$version"_*.deb)
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$tmp/packaged"
  diff -u "$tmp/installed" "$tmp/packaged"
  dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || { echo "Depends lacks Qt"; exit 1; }
  if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log"; exit 1; }
  fi
  ;;
esac
