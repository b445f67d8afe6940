#!/usr/bin/env bash
# "Redrop" starts the drop again from the flat pose: 20 frames after it the picture resembles the
# one 20 frames after start-up, not the settled cloth before it.
# Usage: redrop.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

start_xvfb
start_app
wait_window
wait_frames 20
shot early
early_frames="$SHOT_FIRST to $SHOT_LAST"
wait_settled
shot settled

pick_menu "$MENU_REDROP"
# The menu is gone once the pick is handled: the new drop began by the frame done now.
redrop_frame=$(frame_count)
wait_frames $((redrop_frame + 20))
shot redropped
note "pictured at frames $early_frames after start-up, at $((SHOT_FIRST - redrop_frame)) to" \
  "$((SHOT_LAST - redrop_frame)) after Redrop"
like_start=$(differing_pixels redropped early)
like_settled=$(differing_pixels redropped settled)
start_vs_settled=$(differing_pixels early settled)
note "after Redrop: $like_start pixels differ from start-up, $like_settled from the settled cloth"
note "start-up and settled cloth differ in $start_vs_settled pixels"
((start_vs_settled >= 10000)) || fail "start-up and settled pictures are too alike to tell apart"
((like_start * 3 < like_settled)) ||
  fail "after Redrop the picture is not closer to start-up ($like_start) than to the settled cloth ($like_settled)"
note "passed"
