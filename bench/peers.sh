#!/usr/bin/env bash
# The benchmark work through winMarlet and through the peers Debian ships, on this machine
# in one run: xterm under Xvfb (measured from outside with bench/xprobe, as winMarlet is)
# and libvterm as a library (bench_stream). Prints every figure, then each ratio against
# its target.
#
#   bench/peers.sh [BUILD]      BUILD: a Release build tree (default build-rel), made by
#                               cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release
#                               cmake --build build-rel
# Needs xvfb, xterm, xdotool and socat (scripts/setup installs them). Runs under its own
# Xvfb unless DISPLAY is set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build-rel}" && pwd)

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build"
fi
# A session bus, as every desktop has: without one each Qt program would start a bus of
# its own at start-up (D-Bus autolaunch) and pay for it in the start-up figures.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-run-session >/dev/null; then
  exec dbus-run-session -- "$0" "$build" 2> >(grep -v 'fd limit' >&2)
fi
for tool in xterm xdotool socat; do
  command -v "$tool" >/dev/null || { echo "peers.sh: $tool is not installed (scripts/setup)"; exit 2; }
done
for bin in bench/bench_app bench/bench_stream bench/xprobe shell/winmarlet; do
  [ -x "$build/$bin" ] || { echo "peers.sh: $build/$bin is missing (build $build first)"; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
# winMarlet keeps its settings beside its executable: a copy of its own, in the work folder.
mkdir "$work/wm"
cp "$build/shell/winmarlet" "$work/wm/winmarlet"
wm="$work/wm/winmarlet"
xterm_cmd=(xterm -geometry 80x25 -fa "DejaVu Sans Mono" -fs 10)
xterm_tcp=("${xterm_cmd[@]}" -e sh -c 'stty raw -echo; exec socat - TCP:127.0.0.1:%PORT%')
probe="$build/bench/xprobe"
figures="$work/figures"
: >"$figures"

# Runs a measuring command; its `name: value unit` lines are shown and kept under a prefix.
run() {
  local prefix=$1 line
  shift
  echo "== $prefix"
  "$@" 2> >(grep -E '^(xprobe|flood|latency)' >&2) | grep -E '^[A-Za-z0-9_]+: ' | while IFS= read -r line; do
    echo "  $line"
    echo "$prefix.$line" >>"$figures"
  done || true
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"\
  "load $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "peers: $(xterm -version), libvterm $(dpkg-query -W -f='${Version}' libvterm0 2>/dev/null || echo '?')"

run app "$build/bench/bench_app" "$wm"
run wm.startup "$probe" startup 7 -- "$wm"
run xterm.startup "$probe" startup 7 -- "${xterm_cmd[@]}" -e cat
run wm.flood "$probe" flood telnet -- "$wm" "telnet://127.0.0.1:%PORT%"
run xterm.flood "$probe" flood ansi -- "${xterm_tcp[@]}"
run wm.keys "$probe" latency telnet 1000 -- "$wm" "telnet://127.0.0.1:%PORT%"
run xterm.keys "$probe" latency ansi 1000 -- "${xterm_tcp[@]}"
bench_stream_figures() {
  # its summary: "  BM_NAME  MB/s", rates by CPU time, so a busy machine bends them less
  "$build/bench/bench_stream" --benchmark_filter='BbsStream' |
    awk '/^  BM_/ { name = $1; sub(/^BM_/, "", name); printf "%s: %s MB/s\n", name, $2 }'
}
run lib bench_stream_figures

# The ratios, each against its target.
awk '
  { v[$1] = $2 }
  function has(a) { return (a ":") in v }
  function verdict(r, target, better) {
    return ((better == ">=" && r >= target) || (better == "<=" && r <= target)) ? "met" : "NOT MET"
  }
  function ratio(label, a, b, target, better,    r) {
    if (!has(a) || !has(b) || v[b ":"] == 0) { printf "%-60s      n/a\n", label; return }
    r = v[a ":"] / v[b ":"]
    if (better == "") printf "%-60s %8.2fx\n", label, r
    else printf "%-60s %8.2fx  target %s %s: %s\n", label, r, better, target, verdict(r, target, better)
  }
  function figure(label, a, target, better) {
    if (!has(a)) { printf "%-60s      n/a\n", label; return }
    printf "%-60s %8.2f   target %s %s: %s\n", label, v[a ":"], better, target, verdict(v[a ":"], target, better)
  }
  END {
    print ""
    print "== against the targets"
    ratio("flood rate, winMarlet / xterm (the same text, both under Xvfb)", "xterm.flood.flood_ms", "wm.flood.flood_ms", 100, ">=")
    ratio("flood rate, 1,000,000 lines of history / none", "app.flood_history_mb_s", "app.flood_mb_s", 0.8, ">=")
    ratio("start-up to the window painted, winMarlet / xterm", "wm.startup.startup_painted_ms", "xterm.startup.startup_painted_ms", 1, "<=")
    figure("memory, full ring and no history / a bare Qt window", "app.memory_ratio_to_bare_qt", 1.1, "<=")
    ratio("memory after the flood, winMarlet / xterm", "wm.flood.memory_after_flood_mb", "xterm.flood.memory_after_flood_mb")
    figure("key to glyph painted in the window, p99 ms", "app.key_latency_p99_ms", 2, "<=")
    ratio("key to glyph on the screen p50, winMarlet / xterm (xdotool)", "wm.keys.key_latency_p50_ms", "xterm.keys.key_latency_p50_ms")
    ratio("key to glyph on the screen p99, winMarlet / xterm (xdotool)", "wm.keys.key_latency_p99_ms", "xterm.keys.key_latency_p99_ms")
    figure("search: first hit of a rare word in 1,000,000 lines, ms", "app.search_rare_first_ms", 150, "<=")
    figure("search: every hit of a common word counted, ms", "app.search_common_all_ms", 1000, "<=")
    figure("history: MB for 1,000,000 lines of BBS text", "app.history_mb", 100, "<=")
    ratio("terminal model rate, winMarlet / libvterm (BBS stream)", "lib.BbsStream_winMarlet", "lib.BbsStream_libvterm")
    ratio("terminal model rate filling a new history / without one", "lib.BbsStream_winMarlet_History", "lib.BbsStream_winMarlet")
  }' "$figures"
