#!/usr/bin/env bash
# Soak: the real program runs 3,000 frames with every menu entry, drags and full screen along the
# way, and its resident memory after the last frame is that after the first hundred.
#
# Frames are counted exactly by the frame probe (LD_PRELOAD, wraps GLUT's timer and swap), which
# also reads VmRSS from /proc/self/status right after the marked frames; the program itself gains
# no option or output.
#
# Two things about the measurement:
#  - glibc raises its mmap threshold when a large block is freed, so after the first trip to full
#    screen a freed 1024 x 768 buffer is kept on the heap: a 3 MB step that is no growth per frame.
#    The mmap threshold is pinned (GLIBC_TUNABLES), so freed large blocks go back to the system.
#  - Mesa's software renderer allocates its per-frame scene memory by what is on screen, and the
#    resident size wanders by up to about 120 kB between frames of a settled program. Hence a
#    tolerance of 192 kB: a leak of one 64-byte block per frame (186 kB over the run) would already
#    come close to it, and anything larger fails.
#
# Usage: soak.sh <vellumry binary> <frame probe library>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
probe=$2
[[ -f "$probe" ]] || fail "no frame probe at $probe"

readonly kLastFrame=3000
readonly kToleranceKb=192
probe_out="$WORK/probe"

start_xvfb 1024x768x24
VELLUMRY_PROBE_OUT="$probe_out" VELLUMRY_PROBE_MARKS="$(seq -s, 25 25 "$kLastFrame")" \
  GLIBC_TUNABLES=glibc.malloc.mmap_threshold=131072 LD_PRELOAD="$probe" start_app
wait_window

# frames_done: the last frame the probe has marked.
frames_done() {
  if [[ -s "$probe_out" ]]; then
    tail -n 1 "$probe_out" | awk '{ print $2 }'
  else
    echo 0
  fi
}

rss_at() {
  awk -v f="$1" '$2 == f { print $4 }' "$probe_out"
}

# Everything a person can do, once: every menu entry, a drag in each mode, full screen and back.
use_everything() {
  pick_menu "$MENU_ROTATE"
  drag_start 200 250
  drag_to 260 250
  sleep 0.1
  drag_end
  pick_menu "$MENU_ENDPOINT_DIST"
  drag_start 200 250
  drag_to 200 230
  sleep 0.1
  drag_end
  pick_menu "$MENU_FLAP"
  drag_start 200 250
  drag_to 230 220
  sleep 0.1
  drag_end
  pick_menu "$MENU_REDROP"
  pick_menu "$MENU_DRAW_MODE"
  pick_menu "$MENU_DRAW_MODE"
  pick_menu "$MENU_FULLSCREEN"
  poll 5 "full screen" geometry_is 0 0 1024 768
  pick_menu "$MENU_FULLSCREEN"
  poll 5 "the window back at 500 by 500" geometry_is 0 0 500 500
}

# The first round brings in what first use allocates (the menu window, the full-screen buffers,
# the renderer's line and clipping paths); the baseline is the first marked frame after it, which
# is frame 100 unless the machine is slow.
use_everything
warm=$(frames_done)
baseline=100
while ((baseline <= warm)); do
  baseline=$((baseline + 25))
done
until (($(frames_done) >= baseline)); do
  app_alive || fail "the program died"
  sleep 0.1
done
note "first round of menu use done by frame $warm; baseline frame $baseline"

# More rounds along the way, with the cloth swinging between them; the last well before the end.
while (($(frames_done) < kLastFrame - 400)); do
  app_alive || fail "the program died at frame $(frames_done)"
  use_everything
  note "round of menu use and drags done by frame $(frames_done)"
  sleep 6
done

deadline=$(($(now_ms) + 90000))
until (($(frames_done) >= kLastFrame)); do
  app_alive || fail "the program died at frame $(frames_done)"
  (($(now_ms) < deadline)) || fail "frame $kLastFrame not reached, at $(frames_done)"
  sleep 0.2
done
shot last
expect_shaded last

first=$(rss_at "$baseline")
last=$(rss_at "$kLastFrame")
note "resident memory by frame: $(awk '{ printf "%s:%s ", $2, $4 }' "$probe_out")"
note "resident memory after frame $baseline: $first kB; after frame $kLastFrame: $last kB"
[[ -n "$first" && -n "$last" && "$first" -gt 0 ]] || fail "no resident memory figures"
((last - first <= kToleranceKb)) ||
  fail "resident memory grew by $((last - first)) kB from frame $baseline to frame $kLastFrame"
note "passed"
