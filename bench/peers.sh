#!/usr/bin/env bash
# The benchmark work through winMarlet and through the peers Debian ships, on this machine
# in one run: xterm under Xvfb (measured from outside with bench/xprobe, as winMarlet is)
# and libvterm as a library (bench_stream).
#
#   bench/peers.sh [--rounds N] [BUILD]
#       BUILD: a Release build tree (default build-rel), made by
#              cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release
#              cmake --build build-rel
#       N: rounds (default 5). Each round takes every figure once, winMarlet and its peer
#          one right after the other (which goes first alternates), so a busy spell of the
#          machine falls on both. Printed: the median of the rounds and their spread
#          (min to max); a verdict is "met" only when the median meets the target.
#
# A figure missing from any round fails the run: it is named and the exit status is 1.
# Needs xvfb, xterm, xdotool, socat, openssh-server (scripts/setup installs them). Runs
# under an Xvfb of its own unless DISPLAY is set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=5
if [ "${1:-}" = --rounds ]; then
  rounds=$2
  shift 2
fi
build=$(cd "${1:-$here/build-rel}" && pwd)

if [ -z "${DISPLAY:-}" ]; then
  # -noreset: an X server resets when its last client leaves, and refuses connections
  # while it does; xprobe leaves and comes back between the starts it times.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" --rounds "$rounds" "$build"
fi
# A session bus, as every desktop has: without one each Qt program would start a bus of
# its own at start-up (D-Bus autolaunch) and pay for it in the start-up figures.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-run-session >/dev/null; then
  exec dbus-run-session -- "$0" --rounds "$rounds" "$build" 2> >(grep -v 'fd limit' >&2)
fi
for tool in xterm xdotool socat; do
  command -v "$tool" >/dev/null || { echo "peers.sh: $tool is not installed (scripts/setup)"; exit 2; }
done
for bin in bench/bench_app bench/bench_stream bench/xprobe bench/qt_window shell/winmarlet; do
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
# and its TLS and SSH transports where it looks for them, bin/../lib/winmarlet
mkdir -p "$work/lib/winmarlet"
cp "$build/lib/winmarlet/winmarlet-secure.so" "$work/lib/winmarlet/"
wm="$work/wm/winmarlet"
xterm_cmd=(xterm -geometry 80x25 -fa "DejaVu Sans Mono" -fs 10)
xterm_tcp=("${xterm_cmd[@]}" -e sh -c 'stty raw -echo; exec socat - TCP:127.0.0.1:%PORT%')
probe="$build/bench/xprobe"
figures="$work/figures"
failed="$work/failed"
: >"$figures"
: >"$failed"
round=0

# Runs a measuring command; its `name: value unit` lines are shown and kept as
# `ROUND PREFIX.name value`. A command that fails is named in the verdicts.
run() {
  local prefix=$1 line status
  shift
  echo "== round $round: $prefix"
  set +e
  "$@" 2> >(grep -E '^(xprobe|flood|latency|key_latency|start-up|memory|search)' >&2) >"$work/out"
  status=$?
  set -e
  grep -E '^(connect over|flood over|flood:|key_latency:|start-up:)' "$work/out" | sed 's/^/  /' || true
  grep -E '^[A-Za-z0-9_]+: [-0-9.]+ ' "$work/out" | while IFS= read -r line; do
    echo "  $line"
    echo "$round $prefix.${line%%:*} $(echo "${line#*: }" | cut -d' ' -f1)" >>"$figures"
  done || true
  [ "$status" -eq 0 ] || echo "round $round: $prefix exited with status $status" >>"$failed"
}

load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"\
  "load $(load), $(date -u '+%Y-%m-%d %H:%M UTC'), $rounds rounds"
echo "peers: $(xterm -version), libvterm $(dpkg-query -W -f='${Version}' libvterm0 2>/dev/null || echo '?')"

wm_round() {
  run wm.startup "$probe" startup 3 -- "$wm"
  run wm.flood "$probe" flood telnet 8 -- "$wm" "telnet://127.0.0.1:%PORT%"
  run wm.keys "$probe" latency telnet 500 -- "$wm" "telnet://127.0.0.1:%PORT%"
}
xterm_round() {
  run xterm.startup "$probe" startup 3 -- "${xterm_cmd[@]}" -e cat
  run xterm.flood "$probe" flood ansi 8 -- "${xterm_tcp[@]}"
  run xterm.keys "$probe" latency ansi 500 -- "${xterm_tcp[@]}"
}
loads=()
for round in $(seq 1 "$rounds"); do
  loads+=("$(load | cut -d' ' -f1)")
  if [ $((round % 2)) -eq 1 ]; then wm_round; xterm_round; else xterm_round; wm_round; fi
  run app "$build/bench/bench_app" --only program,flood,rules,latency,search --runs 9 --keys 300 "$wm"
  run transports "$build/bench/bench_app" --only transports --runs 1 "$wm"
  # what Qt itself costs before a first frame: a bare window, nothing else linked
  run qt.startup "$probe" startup 3 -- "$build/bench/qt_window"
done
round=1 # what has no peer, or a peer in the same program, once
run once "$build/bench/bench_app" --only history,connect "$wm"
bench_stream_figures() {
  # its summary: "  BM_NAME  MB/s", rates by CPU time and the best of repetitions: the
  # model's limit, what a busy machine lets it reach at best
  "$build/bench/bench_stream" --benchmark_filter='BbsStream_(libvterm|winMarlet|winMarlet_History|winMarlet_FullHistory)$' |
    awk '/^  BM_/ { name = $1; sub(/^BM_/, "", name); printf "%s: %s MB/s\n", name, $2 }'
}
run lib bench_stream_figures
echo "load at the end: $(load); at the start of each round: ${loads[*]}"

# The medians of the rounds, each with its spread, against the targets.
awk -v rounds="$rounds" -v failedfile="$failed" '
  { v[$2, $1] = $3; seen[$2] = 1 }
  function sorted(key, out,    n, r, i, j, t) {
    n = 0
    for (r = 1; r <= rounds; r++) if ((key, r) in v) out[++n] = v[key, r] + 0
    for (i = 2; i <= n; i++) for (j = i; j > 1 && out[j - 1] > out[j]; j--) { t = out[j]; out[j] = out[j - 1]; out[j - 1] = t }
    return n
  }
  function median(a, n) { return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  function complete(key, label,    r, ok) {
    ok = 1
    for (r = 1; r <= rounds; r++)
      if (!((key, r) in v)) { missing[++nmissing] = label ": " key " missing in round " r; ok = 0 }
    return ok
  }
  function verdict(x, target, better) {
    if (better == "") return ""
    return sprintf("target %s %s: %s", better, target, ((better == ">=" && x >= target) || (better == "<=" && x <= target)) ? "met" : "NOT MET")
  }
  # a figure: the median of the rounds and their spread
  function figure(label, key, target, better,    a, n) {
    if (!complete(key, label)) { printf "%-64s %s\n", label, "MISSING"; bad = 1; return }
    n = sorted(key, a)
    printf "%-64s %9.2f  (%.2f to %.2f)  %s\n", label, median(a, n), a[1], a[n], verdict(median(a, n), target, better)
    if (better != "" && verdict(median(a, n), target, better) ~ /NOT/) notmet = 1
  }
  # where a figure came from, when each round could split it: shown, never a verdict
  function detail(label, key,    a, n) {
    n = sorted(key, a)
    if (n < rounds) { printf "%-64s %s\n", label, "(split in " n " of " rounds " rounds)"; if (n == 0) return }
    printf "%-64s %9.2f  (%.2f to %.2f)\n", label, median(a, n), a[1], a[n]
  }
  # a ratio: the median of one figure over the median of the other; the spread of the
  # rounds ratios beside it
  function ratio(label, ka, kb, target, better, single,    a, b, n, m, r, x, rr, k) {
    if (!complete(ka, label) + !complete(kb, label)) { printf "%-64s %s\n", label, "MISSING"; bad = 1; return }
    n = sorted(ka, a); m = sorted(kb, b)
    x = median(a, n) / median(b, m)
    k = 0
    for (r = 1; r <= rounds; r++) rr[++k] = v[ka, r] / v[kb, r]
    n = k
    for (r = 2; r <= n; r++) for (m = r; m > 1 && rr[m - 1] > rr[m]; m--) { t = rr[m]; rr[m] = rr[m - 1]; rr[m - 1] = t }
    if (single) printf "%-64s %8.2fx  %s\n", label, x, verdict(x, target, better)
    else printf "%-64s %8.2fx  (rounds %.2f to %.2f)  %s\n", label, x, rr[1], rr[n], verdict(x, target, better)
    if (better != "" && verdict(x, target, better) ~ /NOT/) notmet = 1
  }
  # TLS and SSH may grow at most `target` MB more than TCP
  function above(label, ka, kb, target,    a, b, n, m, x) {
    if (!complete(ka, label) + !complete(kb, label)) { printf "%-64s %s\n", label, "MISSING"; bad = 1; return }
    n = sorted(ka, a); m = sorted(kb, b)
    x = median(a, n) - median(b, m)
    printf "%-64s %+8.2f MB  %s\n", label, x, verdict(x, target, "<=")
    if (verdict(x, target, "<=") ~ /NOT/) notmet = 1
  }
  END {
    print ""
    print "== medians of " rounds " rounds (spread: min to max), against the targets"
    ratio("flood rate, winMarlet / xterm (xprobe, MB/s)", "wm.flood.flood_mb_s", "xterm.flood.flood_mb_s", 100, ">=")
    figure("flood in the window, no history, MB/s", "app.flood_mb_s")
    figure("flood in the window, 1,000,000 lines of history, MB/s", "app.flood_history_mb_s")
    figure("flood rate, history / none (10 crossed pairs a round)", "app.flood_history_ratio", 0.8, ">=")
    figure("flood in the window, no highlight rules, MB/s", "app.flood_plain_mb_s")
    figure("flood in the window, 50 highlight rules matching few lines, MB/s", "app.flood_rules_mb_s")
    figure("flood rate, 50 rules / none (10 crossed pairs a round)", "app.flood_rules_ratio", 0.9, ">=")
    figure("start-up to the window painted, winMarlet, ms", "wm.startup.startup_painted_ms")
    figure("start-up to the window painted, xterm, ms", "xterm.startup.startup_painted_ms")
    figure("start-up to the window painted, a bare Qt window, ms", "qt.startup.startup_painted_ms")
    figure("start-up to the window mapped, winMarlet, ms", "wm.startup.startup_mapped_ms")
    figure("start-up to the window mapped, xterm, ms", "xterm.startup.startup_mapped_ms")
    ratio("start-up, winMarlet / xterm", "wm.startup.startup_painted_ms", "xterm.startup.startup_painted_ms", 1, "<=")
    ratio("start-up, winMarlet / a bare Qt window", "wm.startup.startup_painted_ms", "qt.startup.startup_painted_ms")
    figure("start-up to window and connection (bench_app), ms", "app.startup_connected_ms")
    figure("memory, full ring and no history / a bare Qt window", "app.memory_ratio_to_bare_qt", 1.1, "<=")
    ratio("memory after the flood, winMarlet / xterm", "wm.flood.memory_after_flood_mb", "xterm.flood.memory_after_flood_mb")
    figure("key to glyph painted in the window, p50 ms", "app.key_latency_p50_ms")
    figure("key to glyph painted in the window, p99 ms", "app.key_latency_p99_ms", 2, "<=")
    figure("  of which from the echo sent to its paint, p99 ms", "app.key_latency_after_echo_p99_ms")
    figure("key to glyph on the screen (xdotool), winMarlet p99 ms", "wm.keys.key_latency_p99_ms")
    figure("key to glyph on the screen (xdotool), xterm p99 ms", "xterm.keys.key_latency_p99_ms")
    ratio("key to glyph on the screen p50, winMarlet / xterm", "wm.keys.key_latency_p50_ms", "xterm.keys.key_latency_p50_ms")
    ratio("key to glyph on the screen p99, winMarlet / xterm", "wm.keys.key_latency_p99_ms", "xterm.keys.key_latency_p99_ms", 1, "<=")
    detail("  the key to its byte at the server, winMarlet p50 ms", "wm.keys.key_to_server_p50_ms")
    detail("  the key to its byte at the server, xterm p50 ms", "xterm.keys.key_to_server_p50_ms")
    detail("  the echo sent to its glyph, winMarlet p50 ms", "wm.keys.server_to_glyph_p50_ms")
    detail("  the echo sent to its glyph, xterm p50 ms", "xterm.keys.server_to_glyph_p50_ms")
    figure("search: first hit of a rare word in 1,000,000 lines, ms", "app.search_rare_first_ms", 150, "<=")
    figure("search: every hit of a common word counted, ms", "app.search_common_all_ms", 1000, "<=")
    
    figure("flood of 16 MB over TCP, MB/s", "transports.flood_tcp_mb_s")
    figure("flood of 16 MB over TLS, MB/s", "transports.flood_tls_mb_s")
    figure("flood of 16 MB over SSH, MB/s", "transports.flood_ssh_mb_s")
    figure("  resident set grew over TCP, MB", "transports.flood_tcp_growth_mb")
    figure("  resident set grew over TLS, MB", "transports.flood_tls_growth_mb")
    figure("  resident set grew over SSH, MB", "transports.flood_ssh_growth_mb")
    above("  growth over TLS beyond TCP", "transports.flood_tls_growth_mb", "transports.flood_tcp_growth_mb", 10)
    above("  growth over SSH beyond TCP", "transports.flood_ssh_growth_mb", "transports.flood_tcp_growth_mb", 10)
    rounds = 1
    figure("history: MB for 1,000,000 lines of BBS text (once)", "once.history_mb", 100, "<=")
    ratio("terminal model rate, winMarlet / libvterm (best of repetitions)", "lib.BbsStream_winMarlet", "lib.BbsStream_libvterm", "", "", 1)
    ratio("terminal model filling a new history / without one", "lib.BbsStream_winMarlet_History", "lib.BbsStream_winMarlet", "", "", 1)
    ratio("terminal model with a full history / without one", "lib.BbsStream_winMarlet_FullHistory", "lib.BbsStream_winMarlet", "", "", 1)
    while ((getline line < failedfile) > 0) { print "FAILED: " line; bad = 1 }
    for (i = 1; i <= nmissing; i++) print "FAILED: " missing[i]
    if (bad) { print "peers.sh: some figures could not be taken"; exit 1 }
    if (notmet) { print "peers.sh: every figure taken; some targets are not met"; exit 3 }
    else print "peers.sh: every figure taken; every target met"
  }' "$figures"
