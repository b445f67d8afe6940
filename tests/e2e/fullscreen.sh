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
poll 5 "the window to cover the screen" geometry_is 0 0 1024 768
sleep 1
shot_screen full
# With the default reshape the viewport follows the window: the cloth stretches across the screen,
# so much of it lies outside the 500 by 500 corner.
outside=$(convert "$WORK/full.png" -fill black -draw 'rectangle 0,0 499,499' \
  -threshold 16% -format '%[fx:round(mean*w*h)]' info:)
note "full screen: $outside lit pixels outside the 500 by 500 corner"
((outside >= 20000)) || fail "only $outside lit pixels outside the first 500 by 500"

pick_menu "$MENU_FULLSCREEN"
poll 5 "the window to return to 500 by 500" geometry_is 0 0 500 500
sleep 0.5
shot_screen back
outside=$(convert "$WORK/back.png" -fill black -draw 'rectangle 0,0 499,499' \
  -threshold 16% -format '%[fx:round(mean*w*h)]' info:)
((outside == 0)) || fail "$outside lit pixels outside the 500 by 500 window after leaving full screen"
shot window
expect_shaded window
note "passed"
