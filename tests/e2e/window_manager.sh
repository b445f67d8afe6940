#!/usr/bin/env bash
# Under a real window manager (openbox), where the window opens where the manager places it, away
# from the screen's origin, and the menu is used by clicking: "DrawMode" turns the picture into
# white lines and back; "Fullscreen" fills the screen and, chosen again, returns the window to
# 500 by 500 where it was, and so do the keys F11 and Esc; closing the window through the
# manager (alt+F4) ends the program with status 0.
# Usage: window_manager.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

start_xvfb 1024x768x24
start_wm
start_app
wait_window
read -r home_x home_y width height < <(window_geometry "$WID")
note "the window manager placed the window at ($home_x, $home_y), $width by $height"
((width == 500 && height == 500)) || fail "window is $width by $height, not 500 by 500"
((home_x > 0 && home_y > 0)) ||
  fail "window at ($home_x, $home_y): expected the manager to place it away from the origin"

wait_frames 50
shot shaded
expect_shaded shaded

pick_menu "$MENU_DRAW_MODE"
wait_redrawn
shot wireframe
expect_wireframe wireframe
pick_menu "$MENU_DRAW_MODE"
wait_redrawn
shot shaded_again
expect_shaded shaded_again

pick_menu "$MENU_FULLSCREEN"
poll 15 "the window to cover the screen" geometry_is 0 0 1024 768
wait_redrawn
shot_screen full
# The viewport follows the window: the cloth is drawn about three times as large.
lit_full=$(lit_pixels full)
lit_window=$(lit_pixels shaded_again)
note "full screen: $lit_full lit pixels, $lit_window in the 500 by 500 window"
((lit_full >= 2 * lit_window)) ||
  fail "full screen lights $lit_full pixels, the window $lit_window: the cloth was not drawn larger"

pick_menu "$MENU_FULLSCREEN"
poll 15 "the window to return to 500 by 500 at ($home_x, $home_y)" \
  geometry_is "$home_x" "$home_y" 500 500
wait_redrawn
shot back
expect_shaded back

# The keys do the same under the window manager: F11 for full screen, Esc back.
key F11
poll 15 "F11 to make the window cover the screen" geometry_is 0 0 1024 768
key Escape
poll 15 "Esc to return the window to 500 by 500 at ($home_x, $home_y)" \
  geometry_is "$home_x" "$home_y" 500 500

close_by_wm
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after the window manager closed the window"
note "passed"
