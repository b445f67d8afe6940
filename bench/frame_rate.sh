#!/usr/bin/env bash
# Frame-rate benchmark: runs the real vellumry under Xvfb with Mesa's software renderer for 300
# frames, and in the same run a bare loop that only clears and swaps on the same 20 ms timer, and
# reports for each the frame rate and the medians of a tick's own work (for vellumry: two steps,
# normals and the drawing calls; swap excluded), of the buffer swap and of the whole tick.
#
# The figures come from the frame probe, loaded with LD_PRELOAD: it wraps glutTimerFunc and
# glutSwapBuffers, so the program runs unchanged, with no option or output added for this.
#
# Usage: bench/frame_rate.sh [build dir] [-- vellumry's arguments, e.g. --grid 128]
#   (build dir: default build/default, configured and built if needed). With arguments, the
#   goals of the program's own cloth are not judged.
# Environment: FRAMES (default 300), ROUNDS (default 2: loop, vellumry, loop, vellumry, ...).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/default
if [[ $# -gt 0 && $1 != -- ]]; then
  build=$1
  shift
fi
[[ $# -eq 0 || $1 == -- ]] || { echo "usage: $0 [build dir] [-- vellumry's arguments]" >&2; exit 2; }
[[ $# -eq 0 ]] || shift
program_args=("$@")
frames=${FRAMES:-300}
rounds=${ROUNDS:-2}

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target vellumry clear_swap vellumry_frame_probe >/dev/null

# shellcheck source=SCRIPTDIR/../tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
e2e_init "$build/vellumry"
probe="$build/tests/e2e/libvellumry_frame_probe.so"
loop="$build/bench/clear_swap"

start_xvfb 1024x768x24

# measure <program> <label> [arguments]: one run of frames + 1 ticks (the first carries the
# renderer's start-up costs and is left out); prints the probe's statistics line prefixed by the
# label.
measure() {
  local program=$1 label=$2 out="$WORK/probe.$RANDOM"
  shift 2
  VELLUMRY_PROBE_OUT="$out" VELLUMRY_PROBE_STATS=$((frames + 1)) LD_PRELOAD="$probe" \
    start_app "$program" "$@"
  local deadline=$(($(now_ms) + frames * 100 + 20000))
  until grep -q '^stats' "$out" 2>/dev/null; do
    app_alive || fail "$label exited early"
    (($(now_ms) < deadline)) || fail "$label did not reach $frames frames"
    sleep 0.1
  done
  kill "$APP_PID"
  wait "$APP_PID" 2>/dev/null || true
  APP_PID=""
  echo "$label $(cat "$out")"
}

results="$WORK/results"
for ((i = 0; i < rounds; ++i)); do
  measure "$loop" loop >>"$results"
  measure "$VELLUMRY" vellumry "${program_args[@]}" >>"$results"
done

awk -v frames="$frames" -v rounds="$rounds" -v args="${program_args[*]}" '
  # Line: <label> stats frames N seconds S fps F work_median_ms W swap_median_ms P tick_median_ms T
  {
    label = $1
    n[label]++
    fps[label, n[label]] = $8; work[label, n[label]] = $10
    swap[label, n[label]] = $12; tick[label, n[label]] = $14
    printf "%-22s round %d: %5.2f fps, work %.3f ms, swap %.3f ms, tick %.3f ms\n", \
      (label == "loop" ? "clear-and-swap loop" : "vellumry"), n[label], $8, $10, $12, $14
  }
  function mean(a, label,   i, s) { s = 0; for (i = 1; i <= n[label]; i++) s += a[label, i]; return s / n[label] }
  END {
    printf "\n%d frames per run, %d run(s) each, Xvfb 1024x768x24, Mesa software renderer, window 500 x 500\n", frames, rounds
    printf "%-22s %8s %18s %18s %18s\n", "", "fps", "work median (ms)", "swap median (ms)", "tick median (ms)"
    printf "%-22s %8.2f %18.3f %18.3f %18.3f\n", "clear-and-swap loop", mean(fps, "loop"), mean(work, "loop"), mean(swap, "loop"), mean(tick, "loop")
    printf "%-22s %8.2f %18.3f %18.3f %18.3f\n", "vellumry" (args == "" ? "" : " " args), mean(fps, "vellumry"), mean(work, "vellumry"), mean(swap, "vellumry"), mean(tick, "vellumry")
    if (args != "") exit
    ratio = 100 * mean(fps, "vellumry") / mean(fps, "loop")
    printf "\nvellumry reaches %.1f%% of the loop'"'"'s frame rate (goal: at least 91%%): %s\n", ratio, (ratio >= 91 ? "met" : "MISSED")
    w = mean(work, "vellumry")
    printf "tick work, swap excluded: %.3f ms median (goal: at most 1.2 ms): %s\n", w, (w <= 1.2 ? "met" : "MISSED")
  }' "$results"
