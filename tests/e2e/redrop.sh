#!/usr/bin/env bash
# "Redrop" starts the drop again from the flat pose: 20 frames after it the picture resembles the
# one 20 frames after start-up, not the settled cloth before it. When the pick is handled depends
# on the machine's load, so the window records the session and the frames are judged in its
# headless replay, at the ticks the recording names.
# Usage: redrop.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

session=$WORK/redrop.session
start_xvfb
start_app "$VELLUMRY" --record "$session"
wait_window
wait_settled
pick_menu "$MENU_REDROP"
redropped() { grep -q "^[0-9]* menu 99$" "$session"; }
poll 30 "the recording to hold the Redrop" redropped
redrop_tick=$(awk -v v=99 '$2 == "menu" && $3 == v { print $1; exit }' "$session")
wait_frames $((redrop_tick + 25))
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q while recording"

status=0
env -u DISPLAY "$VELLUMRY" --replay "$session" --render "$WORK/replayed" >"$WORK/headless" 2>&1 ||
  status=$?
((status == 0)) || fail "the headless replay exited with $status: $(cat "$WORK/headless")"
frame() { cp "$WORK/replayed/frame-$(printf %06d "$1").png" "$WORK/$2.png"; }
frame 20 early
frame "$redrop_tick" settled
frame $((redrop_tick + 20)) redropped
like_start=$(differing_pixels redropped early)
like_settled=$(differing_pixels redropped settled)
start_vs_settled=$(differing_pixels early settled)
note "Redrop recorded before tick $((redrop_tick + 1)); 20 frames after it: $like_start pixels" \
  "differ from start-up, $like_settled from the settled cloth"
note "start-up and settled cloth differ in $start_vs_settled pixels"
((start_vs_settled >= 10000)) || fail "start-up and settled pictures are too alike to tell apart"
((like_start * 3 < like_settled)) ||
  fail "after Redrop the picture is not closer to start-up ($like_start) than to the settled cloth ($like_settled)"
note "passed"
