#!/usr/bin/env bash
# "Fullscreen" makes the window cover the 1024 by 768 screen and the cloth is drawn over all of it;
# a second "Fullscreen" returns the window to 500 by 500, drawn as before.
# Usage: fullscreen.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

start_xvfb 1024x768x24
start_app
wait_window

pick_menu "$MENU_FULLSCREEN"
poll 15 "the window to cover the screen" geometry_is 0 0 1024 768
# Drawn at the new size, and the cloth fallen for 50 frames, as in the first picture elsewhere.
wait_redrawn
wait_frames 50
shot_screen full
# With the default reshape the viewport follows the window: the cloth stretches across the screen,
# so much of it lies outside the 500 by 500 corner.
outside=$(lit_outside full 0 0 500 500)
note "full screen: $outside lit pixels outside the 500 by 500 corner"
((outside >= 20000)) || fail "only $outside lit pixels outside the first 500 by 500"

pick_menu "$MENU_FULLSCREEN"
poll 15 "the window to return to 500 by 500" geometry_is 0 0 500 500
wait_redrawn
shot_screen back
outside=$(lit_outside back 0 0 500 500)
((outside == 0)) || fail "$outside lit pixels outside the 500 by 500 window after leaving full screen"
shot window
expect_shaded window
note "passed"
