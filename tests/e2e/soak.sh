#!/usr/bin/env bash
# Soak: the real program runs 3,000 frames with menu use and drags along the way (full screen in
# the first rounds), and its resident memory at the last frame is that of early in the run, once
# everything has been used: no growth per frame.
#
# Frames are counted exactly by the frame probe (LD_PRELOAD, wraps GLUT's timer and swap), which
# also reads VmRSS from /proc/self/status right after the marked frames; the program itself gains
# no option or output.
#
# How it is measured:
#  - The program keeps every block up to 32 MB on the heap and trims the heap only past 64 MB of
#    free top, so Mesa's per-frame allocations (about 1 MB a frame) and freed full-screen buffers
#    stay in it: the resident size is the heap's high water mark plus the rest, flat while nothing
#    leaks, and a leak only ever adds to it.
#  - The first rounds of menu use bring in what first use allocates (the menu window, full-screen
#    buffers, the renderer's line and clipping paths) and raise the high water mark; three rounds
#    come first, and the baseline is the first mark at or after frame 100 that follows them (frame
#    125 on an idle machine, later on a loaded one, where frames go on while the menu is worked).
#  - Full screen is part of the warm-up only: each trip there frees and reallocates the 1024 x 768
#    buffers, and where they land on the never-trimmed heap can raise its high water mark by 2 to
#    3 MB at any later trip (seen after 30 and 55 trips): the allocator's placement, not growth
#    per frame. Later rounds use every other entry and drag.
#  - Each figure is the smallest of four marks 25 frames apart (the baseline's from the baseline
#    frame, the final one ending at frame 3000), so that a mark taken while Mesa briefly holds more
#    cannot decide the result.
#  - Tolerance 160 kB; observed growth after the warm-up: 0 kB over the run. A leak of one
#    64-byte block a frame (186 kB over the run) exceeds it; the sanitized run checks for leaks
#    exactly.
#
# Usage: soak.sh <vellumry binary> <frame probe library>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1" "$2"

readonly kLastFrame=3000
readonly kToleranceKb=160
probe_out="$WORK/probe"

start_xvfb 1024x768x24
VELLUMRY_PROBE_OUT="$probe_out" VELLUMRY_PROBE_MARKS="$(seq -s, 25 25 "$kLastFrame")" start_app
wait_window

# Everything a person can do, once: every menu entry, a drag in each mode held for 5 frames, and
# unless told "windowed", full screen and back.
use_everything() {
  pick_menu "$MENU_ROTATE"
  drag_start 200 250
  drag_to 260 250
  wait_more_frames 5
  drag_end
  pick_menu "$MENU_ENDPOINT_DIST"
  drag_start 200 250
  drag_to 200 230
  wait_more_frames 5
  drag_end
  pick_menu "$MENU_FLAP"
  drag_start 200 250
  drag_to 230 220
  wait_more_frames 5
  drag_end
  pick_menu "$MENU_REDROP"
  pick_menu "$MENU_DRAW_MODE"
  pick_menu "$MENU_DRAW_MODE"
  if [[ "${1:-}" == windowed ]]; then
    return 0
  fi
  pick_menu "$MENU_FULLSCREEN"
  poll 15 "full screen" geometry_is 0 0 1024 768
  pick_menu "$MENU_FULLSCREEN"
  poll 15 "the window back at 500 by 500" geometry_is 0 0 500 500
}

# min_rss <first frame>: the smallest resident size of the four marks from that frame on.
min_rss() {
  awk -v f="$1" '$2 >= f && $2 < f + 100 { if (min == "" || $4 < min) min = $4 } END { print min }' \
    "$probe_out"
}

for round in 1 2 3; do
  use_everything
  note "warm-up round $round done by frame $(frame_count)"
done
warm=$(frame_count)
baseline=100
while ((baseline <= warm)); do
  baseline=$((baseline + 25))
done
wait_frames $((baseline + 75))

# More rounds along the way, with the cloth swinging 300 frames between them; the last well
# before the end.
while (($(frame_count) < kLastFrame - 400)); do
  use_everything windowed
  note "round of menu use and drags done by frame $(frame_count)"
  wait_more_frames 300
done

wait_frames "$kLastFrame"
shot last
expect_shaded last

first=$(min_rss "$baseline")
last=$(min_rss $((kLastFrame - 75)))
note "resident memory by frame: $(awk '{ printf "%s:%s ", $2, $4 }' "$probe_out")"
note "resident memory from frame $baseline: $first kB; to frame $kLastFrame: $last kB"
[[ -n "$first" && -n "$last" && "$first" -gt 0 ]] || fail "no resident memory figures"
((last - first <= kToleranceKb)) ||
  fail "resident memory grew by $((last - first)) kB from frame $baseline to frame $kLastFrame"
note "passed"
