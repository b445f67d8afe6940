#!/usr/bin/env bash
# The program built with AddressSanitizer and UndefinedBehaviorSanitizer, driven under Xvfb through
# every menu entry and drags of every kind for 500 frames, then closed like a person closes it:
# no sanitizer reports anything from the program's own code, and it exits with status 0.
#
# Leaks inside Mesa are silenced by the suppression file, entry by entry. Mesa's software driver is
# preloaded so that it is still mapped (and named in the reports) when the leak check runs at exit;
# the frame probe (preloaded by start_app) counts the frames, and every drag is held for a number
# of them.
#
# Usage: sanitized_drive.sh <sanitized vellumry> <frame probe library> <leak suppressions> \
#                           <close_window helper>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1" "$2"
suppressions=$3
close_window=$4

readonly kFrames=500

driver=""
for dir in ${LIBGL_DRIVERS_PATH:-} /usr/lib/"$(uname -m)"-linux-gnu/dri /usr/lib64/dri /usr/lib/dri; do
  if [[ -f "$dir/swrast_dri.so" ]]; then
    driver="$dir/swrast_dri.so"
    break
  fi
done
[[ -n "$driver" ]] || fail "Mesa's software driver swrast_dri.so not found"

start_xvfb 1024x768x24
# The preloads come before the sanitizer runtime in the library list; they replace no allocator
# or libc function, so the order check is turned off.
ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1:abort_on_error=0 \
  LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=1" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LD_PRELOAD="$driver" start_app
wait_window

# Drags of every kind, with the releases and presses in awkward orders.
pick_menu "$MENU_ROTATE"
drag_start 100 250
drag_to 350 250
wait_more_frames 10
drag_end
pick_menu "$MENU_ENDPOINT_DIST"
drag_start 250 200
drag_to 250 260
wait_more_frames 10
drag_to 250 150
wait_more_frames 10
drag_end
pick_menu "$MENU_FLAP"
drag_start 250 250
drag_to 300 150
wait_more_frames 10
# "Redrop" and "DrawMode" with the left button still down: the rates stay in force.
pick_menu "$MENU_REDROP" 400 100
pick_menu "$MENU_DRAW_MODE" 400 100
wait_more_frames 10
drag_end
# A release with no press, and a middle-button drag that only a left release stops.
xdotool mouseup 1
pick_menu "$MENU_ROTATE"
xdotool mousemove 200 200 mousedown 2 mousemove 260 220
wait_more_frames 10
xdotool mouseup 2
wait_more_frames 10
drag_start 260 220
drag_end
# A far drag that throws the mounts a long way, then a drop to recover.
pick_menu "$MENU_FLAP"
drag_start 10 10
drag_to 490 490
wait_more_frames 15
drag_end
pick_menu "$MENU_REDROP"
pick_menu "$MENU_DRAW_MODE"
pick_menu "$MENU_FULLSCREEN"
poll 15 "full screen" geometry_is 0 0 1024 768
drag_start 500 400
drag_to 900 700
wait_more_frames 10
drag_end
pick_menu "$MENU_FULLSCREEN"
poll 15 "the window back at 500 by 500" geometry_is 0 0 500 500
pick_menu "$MENU_REDROP"

wait_frames "$kFrames"
shot last
expect_shaded last

frames=$(frame_count)
"$close_window" "$WID"
wait_app_exit
status=$APP_STATUS
note "exit status $status after $frames frames"

for pattern in "ERROR: AddressSanitizer" "ERROR: LeakSanitizer" "runtime error:" \
  "SUMMARY: UndefinedBehaviorSanitizer"; do
  if grep -q "$pattern" "$WORK/stderr"; then
    cat "$WORK/stderr" >&2
    fail "sanitizer report: $pattern"
  fi
done
((status == 0)) || fail "exit status $status"
if grep -q "Suppressions used" "$WORK/stderr"; then
  note "leak suppressions used (Mesa only):"
  sed -n '/Suppressions used/,$p' "$WORK/stderr"
fi
note "passed"
