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
wait_settled 15

shot still_a
sleep 0.3
shot still_b
still=$(differing_pixels still_a still_b)
note "settled, not dragging: $still pixels change in 300 ms"

# 40 pixels to the right of the press point: 2.4 degrees per frame, about 30 degrees in the
# 250 ms between two pictures, and the pointer stays still while the view keeps turning.
drag_start 200 250
drag_to 240 250
sleep 0.1
shot turning_a
sleep 0.25
shot turning_b
sleep 0.25
shot turning_c
turning_ab=$(differing_pixels turning_a turning_b)
turning_bc=$(differing_pixels turning_b turning_c)
note "held: $turning_ab and $turning_bc pixels change in 250 ms"
drag_end
sleep 0.1
shot released_a
sleep 0.3
shot released_b
released=$(differing_pixels released_a released_b)
turned=$(differing_pixels still_b released_b)
note "released: $released pixels change in 300 ms; $turned differ from before the drag"

for d in "$turning_ab" "$turning_bc"; do
  ((d >= 3000 && d >= 5 * still + 1000)) || fail "the view barely changed while turning ($d pixels)"
done
((released < 1500)) || fail "the view still changes after release ($released pixels)"
((turned >= 3000)) || fail "the drag left the view as it was ($turned pixels differ)"
note "passed"
