#!/usr/bin/env bash
# The whole program under Xvfb, driven with xdotool as a user drives it: started with
# "/c=Demo BBS", it logs in to the demo BBS by itself; E and typed keys make a post; a mouse
# selection of the terminal, Edit > Copy (Alt+E C), a second post and Edit > Paste put the
# screen, the Sysop's greeting included, into the server's record; a screenshot is left;
# Q logs off and File > Exit ends the program with status 0.
#   xvfb_session.sh WINMARLET DEMOBBS ARTEFACT_DIR
# Exit 77 (skipped) when the X tools are missing.
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  for tool in xvfb-run xauth xdotool import identify; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup installs it)"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside "$@"
fi
shift
program=$(realpath "$1") bbs=$(realpath "$2") artefacts=$3
mkdir -p "$artefacts"
shot="$(realpath "$artefacts")/winmarlet-e2e.png"
rm -f "$shot"

work=$(mktemp -d)
bbs_pid='' app_pid=''
finish() {
  [ -n "$app_pid" ] && kill -TERM "$app_pid" 2>/dev/null
  [ -n "$bbs_pid" ] && kill -TERM "$bbs_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "FAIL: $*"
  echo "--- server record:"; cat "$work/board.txt" 2>/dev/null || true
  echo "--- program output:"; cat "$work/app.log" 2>/dev/null || true
  [ -f "$shot" ] || import -window root "$shot" 2>/dev/null || true
  exit 1
}
# until_true COMMAND...: polls every 0.1 s for at most 30 s.
until_true() {
  local _
  for _ in $(seq 300); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
recorded() { grep -qF -- "$1" "$work/board.txt" 2>/dev/null; }

# The demo BBS on a free port.
"$bbs" --port 0 --sysop-delay 0.3 --data "$work/board.txt" >"$work/bbs.log" 2>&1 &
bbs_pid=$!
until_true grep -q '^listening on' "$work/bbs.log" || fail "the demo BBS did not start"
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/bbs.log")

# A private copy of the program, so its settings file is its own: one host, auto-login.
mkdir "$work/app"
cp "$program" "$work/app/winmarlet"
printf '[Hosts]\nHost1=Demo BBS\n[Demo BBS]\nAddress=127.0.0.1\nPort=%s\nMode=0\nAutoLogin=1\nLogin Name=demo\nPassword=xvfb\n[Preferences]\nScreen Lines=50\n' \
  "$port" >"$work/app/winmarlet.INI"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
# A sanitizer build reports a leak inside libdbus on xcb: not ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(realpath "$(dirname "$0")/../lsan.supp")}
mkdir -m 700 "$XDG_RUNTIME_DIR"
(cd "$work/app" && exec ./winmarlet "/c=Demo BBS") >"$work/app.log" 2>&1 &
app_pid=$!

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
has_window() { [ -n "$(window "$1")" ]; }
no_window() { [ -z "$(window "$1")" ]; }
until_true has_window '^ORVO winMarlet "Demo BBS"$' || fail "no connected main window"
win=$(window '^ORVO winMarlet "Demo BBS"$')
xdotool windowfocus --sync "$win"

# Logged in by itself through the name and password edits; the Sysop has greeted.
until_true recorded $'user\tDemo\txvfb' || fail "no auto-login"
until_true recorded "|Welcome to the demo BBS, Demo!" || fail "no greeting"

# A post of Demo's, as the server keeps it, holding a text.
posted() { awk -v text="$1" '/^post\t.*\tDemo$/ { on = 1; next } /^\.$/ { on = 0 } on && index($0, text) { found = 1 } END { exit !found }' "$work/board.txt"; }
# E starts a post: the colour palette comes up with the offline editor. The edit opens
# after the greeting on the same connection, so the greeting is then on the screen too.
start_post() {
  xdotool windowfocus --sync "$win" type e
  until_true has_window '^Colours$' || fail "the post editor did not open"
  xdotool windowfocus --sync "$win"
}
save_post() {
  xdotool key ctrl+d
  xdotool type s
  until_true no_window '^Colours$' || fail "the post editor did not close"
}
start_post
xdotool type "Typed under Xvfb."
save_post
until_true posted "|Typed under Xvfb." || fail "the typed post did not arrive"

# A mouse selection over the whole terminal, from below the menu bar to above the status
# line; Edit > Copy by keys; a second post gets the copy by Edit > Paste.
eval "$(xdotool getwindowgeometry --shell "$win")" # X Y WIDTH HEIGHT
xdotool mousemove --sync $((X + 3)) $((Y + 30)) mousedown 1 \
  mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) \
  mousemove --sync $((X + WIDTH - 30)) $((Y + HEIGHT - 40)) mouseup 1
xdotool key alt+e c
start_post
xdotool key alt+e p
save_post
until_true posted "Welcome to the demo BBS, Demo! Press X to write to me, E to post." ||
  fail "the mouse selection of the Sysop's greeting did not arrive in a post"

# The screenshot shows the session: a real image with many colours.
import -window root "$shot"
colours=$(identify -format '%k' "$shot")
[ "$colours" -ge 8 ] || fail "the screenshot has only $colours colours"

# Q logs off and the BBS hangs up; File > Exit (Alt+F X) then ends the program cleanly.
xdotool type q
until_true has_window '^ORVO winMarlet$' || fail "the hang-up did not end the connection"
xdotool key alt+f x
ended() { ! kill -0 "$app_pid" 2>/dev/null; }
until_true ended || fail "File > Exit did not end the program"
status=0
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "ok: the post arrived; screenshot $shot ($colours colours)"
