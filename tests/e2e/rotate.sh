#!/usr/bin/env bash
# "Rotate" with a left drag turns the view every frame while the button is held and stops turning
# on release. Turning the view does not move the cloth, so the cloth is first left to settle:
# then any change between two pictures comes from the rotation, not from swinging. How long the
# drag is held depends on the machine's load, and a cloth hanging in the plane of the axis looks
# almost the same turned half a turn; so the turn is checked through the session the window
# records: the picture after the release is the one the recorded ticks of turning give, rendered
# with no display.
# Usage: rotate.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

session=$WORK/rotate.session
start_xvfb
start_app "$VELLUMRY" --record "$session"
wait_window
pick_menu "$MENU_ROTATE"
wait_settled

# A still view is compared over 15 frames (SETTLE_FRAMES), a turning one over 12 (a quarter of the
# program's second).
readonly kTurnApart=12
shot still_a
shot_apart still_b "$SETTLE_FRAMES"
still=$(differing_pixels still_a still_b)
note "settled, not dragging: $still pixels change in $SHOT_APART frames"

# 40 pixels to the right of the press point: 2.4 degrees per frame, 29 degrees or more between two
# pictures, and the pointer stays still while the view keeps turning.
drag_start 200 250
drag_to 240 250
drag_frame=$(frame_count)
wait_redrawn
shot turning_a
shot_apart turning_b "$kTurnApart"
ab_frames=$SHOT_APART
shot_apart turning_c "$kTurnApart"
turning_ab=$(differing_pixels turning_a turning_b)
turning_bc=$(differing_pixels turning_b turning_c)
note "held: $turning_ab pixels change in $ab_frames frames, $turning_bc in $SHOT_APART"
drag_end
note "held for about $(($(frame_count) - drag_frame)) frames"
wait_redrawn
shot released_a
shot_apart released_b "$SETTLE_FRAMES"
released=$(differing_pixels released_a released_b)
note "released: $released pixels change in $SHOT_APART frames"
shown_first=$SHOT_FIRST shown_last=$SHOT_LAST
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q while recording"

for d in "$turning_ab" "$turning_bc"; do
  ((d >= 3000 && d >= 5 * still + 1000)) || fail "the view barely changed while turning ($d pixels)"
done
((released < 1500)) || fail "the view still changes after release ($released pixels)"

# Ticks of turning: from the drag's first motion to its release (the menu pick's own release
# comes before the drag's press).
read -r pressed moved let_go < <(awk '
  $2 == "press" && !p { p = $1 }
  p && $2 == "motion" && !m { m = $1 }
  m && $2 == "release" { print p, m, $1; exit }' "$session")
[[ -n "${let_go:-}" ]] || fail "the recording has no press, motion and release of the drag"
held=$((let_go - moved))
note "recorded: pressed at tick $pressed, turning from tick $moved, released at tick $let_go"
((held >= 2 * kTurnApart)) ||
  fail "turned for $held ticks, fewer than the $((2 * kTurnApart)) between the pictures taken"

status=0
env -u DISPLAY "$VELLUMRY" --replay "$session" --render "$WORK/replayed" >"$WORK/headless" 2>&1 ||
  status=$?
((status == 0)) || fail "the headless replay exited with $status: $(cat "$WORK/headless")"
best=""
for ((frame = shown_first; frame <= shown_last; ++frame)); do
  ((frame >= 1)) || continue
  cp "$WORK/replayed/frame-$(printf %06d "$frame").png" "$WORK/rendered.png"
  d=$(differing_pixels released_b rendered)
  [[ -n "$best" && "$best" -le "$d" ]] || best=$d
done
note "after $held ticks of turning: $best pixels differ from the replay's frame"
((best < 300)) || fail "the window's view after the drag is not the recorded one ($best pixels differ)"
note "passed"
