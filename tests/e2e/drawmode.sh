#!/usr/bin/env bash
# "DrawMode" through the real right-button menu: white lines on black, then the lit surface again.
# Usage: drawmode.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

start_xvfb
start_app
wait_window
wait_frames 50
shot before
expect_shaded before

pick_menu "$MENU_DRAW_MODE"
wait_redrawn
shot wireframe
expect_wireframe wireframe

pick_menu "$MENU_DRAW_MODE"
wait_redrawn
shot again
expect_shaded again

# The surface swings between about 30000 and 48000 lit pixels; its lines light about 12500.
lit_surface=$(($(lit_pixels before) > $(lit_pixels again) ? $(lit_pixels before) : $(lit_pixels again)))
lit_lines=$(lit_pixels wireframe)
((lit_lines * 2 < lit_surface)) ||
  fail "wireframe lights $lit_lines pixels, the surface $lit_surface; expected far fewer"

# The menu closes cleanly each time: nothing is left on screen outside the window.
shot_screen screen
outside=$(lit_outside screen 0 0 500 500)
((outside == 0)) || fail "$outside lit pixels outside the window, a menu left open?"
note "passed"
