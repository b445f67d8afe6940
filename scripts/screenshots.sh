#!/usr/bin/env bash
# Makes the README's pictures: runs vellumry under a private Xvfb with Mesa's software renderer and
# writes docs/screenshot-shaded.png (the lit surface 1.5 s after start-up) and
# docs/screenshot-wireframe.png (the springs, right after "DrawMode" from the right-button menu).
#
# Usage: scripts/screenshots.sh [vellumry binary]   (default: build/default/vellumry, built first)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if (($# >= 1)); then
  program=$(realpath "$1")
else
  build="$root/build/default"
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" >/dev/null
  fi
  cmake --build "$build" -j2 --target vellumry >/dev/null
  program="$build/vellumry"
fi

# shellcheck source=SCRIPTDIR/../tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
e2e_init "$program"
start_xvfb 1024x768x24
start_app
wait_window

sleep 1.5
shot shaded
expect_shaded shaded
pick_menu "$MENU_DRAW_MODE"
sleep 0.2
shot wireframe
expect_wireframe wireframe

# -strip: no time stamps in the files, so an unchanged picture gives an unchanged file.
convert "$WORK/shaded.png" -strip "$root/docs/screenshot-shaded.png"
convert "$WORK/wireframe.png" -strip "$root/docs/screenshot-wireframe.png"
echo "wrote docs/screenshot-shaded.png and docs/screenshot-wireframe.png"
