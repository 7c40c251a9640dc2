#!/usr/bin/env bash
# The program as a screen reader hears it: under Xvfb with a private session bus and the
# accessibility bus, logged in to the demo BBS, checked from the other side of the bus by
# screen_reader.py (pyatspi, as Orca sees it).
#   screen_reader.sh WINMARLET DEMOBBS
# Exit 77 (skipped) when a package is missing.
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  for tool in xvfb-run xauth xdotool dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup installs it)"; exit 77; }
  done
  [ -x /usr/libexec/at-spi-bus-launcher ] && [ -x /usr/libexec/at-spi2-registryd ] ||
    { echo "skipped: at-spi2-core is not installed (scripts/setup installs it)"; exit 77; }
  # Debian's python3, whatever a python3 earlier on PATH is: pyatspi lives there.
  /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
    { echo "skipped: python3-pyatspi is not installed (scripts/setup installs it)"; exit 77; }
  exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash "$0" --inside "$@"
fi
shift
program=$(realpath "$1") bbs=$(realpath "$2")

work=$(mktemp -d)
pids=()
finish() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
until_true() {
  local _
  for _ in $(seq 900); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(realpath "$(dirname "$0")/../lsan.supp")}
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The accessibility bus and its registry, as a desktop session starts them.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.log" 2>&1 &
pids+=($!)
registry_up() { /usr/bin/python3 -c 'import pyatspi; pyatspi.Registry.getDesktop(0)' 2>/dev/null; }
/usr/libexec/at-spi2-registryd >"$work/registry.log" 2>&1 &
pids+=($!)
until_true registry_up || { echo "FAIL: the accessibility bus did not start"; exit 1; }

"$bbs" --port 0 --sysop-delay 3 --data "$work/board.txt" >"$work/bbs.log" 2>&1 &
pids+=($!)
until_true grep -q '^listening on' "$work/bbs.log" || { echo "FAIL: the demo BBS did not start"; exit 1; }
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/bbs.log")

mkdir "$work/app"
cp "$program" "$work/app/winmarlet"
printf '[Hosts]\nHost1=Demo BBS\n[Demo BBS]\nAddress=127.0.0.1\nPort=%s\nMode=0\nAutoLogin=1\nLogin Name=blind\nPassword=reader\n' \
  "$port" >"$work/app/winmarlet.INI"

# The checks listen before the program starts, so they hear it from its first line.
status=0
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 /usr/bin/python3 "$(dirname "$0")/screen_reader.py" \
  "$work/app/winmarlet" "$work" || status=$?
if [ "$status" -ne 0 ]; then
  echo "--- program output:"; cat "$work/app.log" 2>/dev/null || true
fi
exit "$status"
