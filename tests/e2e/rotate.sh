#!/usr/bin/env bash
# "Rotate" with a left drag turns the view every frame while the button is held and stops turning
# on release. Turning the view does not move the cloth, so the cloth is first left to settle:
# then any change between two pictures comes from the rotation, not from swinging.
# Usage: rotate.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

start_xvfb
start_app
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
turned=$(differing_pixels still_b released_b)
note "released: $released pixels change in $SHOT_APART frames; $turned differ from before the drag"

for d in "$turning_ab" "$turning_bc"; do
  ((d >= 3000 && d >= 5 * still + 1000)) || fail "the view barely changed while turning ($d pixels)"
done
((released < 1500)) || fail "the view still changes after release ($released pixels)"
((turned >= 3000)) || fail "the drag left the view as it was ($turned pixels differ)"
note "passed"
