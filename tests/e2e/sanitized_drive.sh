#!/usr/bin/env bash
# The program built with AddressSanitizer and UndefinedBehaviorSanitizer, driven under Xvfb through
# every menu entry and drags of every kind for 500 frames, then closed like a person closes it:
# no sanitizer reports anything from the program's own code, and it exits with status 0.
#
# Leaks inside Mesa are silenced by the suppression file, entry by entry. Mesa's software driver is
# preloaded so that it is still mapped (and named in the reports) when the leak check runs at exit;
# the frame probe counts the frames.
#
# Usage: sanitized_drive.sh <sanitized vellumry> <frame probe library> <leak suppressions> \
#                           <close_window helper>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
probe=$2
suppressions=$3
close_window=$4

readonly kFrames=500
probe_out="$WORK/probe"

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
  VELLUMRY_PROBE_OUT="$probe_out" VELLUMRY_PROBE_MARKS="$(seq -s, 25 25 "$kFrames")" \
  LD_PRELOAD="$probe $driver" start_app
wait_window

frames_done() {
  if [[ -s "$probe_out" ]]; then
    tail -n 1 "$probe_out" | awk '{ print $2 }'
  else
    echo 0
  fi
}

# Drags of every kind, with the releases and presses in awkward orders.
pick_menu "$MENU_ROTATE"
drag_start 100 250
drag_to 350 250
sleep 0.2
drag_end
pick_menu "$MENU_ENDPOINT_DIST"
drag_start 250 200
drag_to 250 260
sleep 0.2
drag_to 250 150
sleep 0.2
drag_end
pick_menu "$MENU_FLAP"
drag_start 250 250
drag_to 300 150
sleep 0.2
# "Redrop" and "DrawMode" with the left button still down: the rates stay in force.
pick_menu "$MENU_REDROP" 400 100
pick_menu "$MENU_DRAW_MODE" 400 100
sleep 0.2
drag_end
# A release with no press, and a middle-button drag that only a left release stops.
xdotool mouseup 1
pick_menu "$MENU_ROTATE"
xdotool mousemove 200 200 mousedown 2 mousemove 260 220
sleep 0.2
xdotool mouseup 2
sleep 0.2
drag_start 260 220
drag_end
# A far drag that throws the mounts a long way, then a drop to recover.
pick_menu "$MENU_FLAP"
drag_start 10 10
drag_to 490 490
sleep 0.3
drag_end
pick_menu "$MENU_REDROP"
pick_menu "$MENU_DRAW_MODE"
pick_menu "$MENU_FULLSCREEN"
poll 10 "full screen" geometry_is 0 0 1024 768
drag_start 500 400
drag_to 900 700
sleep 0.2
drag_end
pick_menu "$MENU_FULLSCREEN"
poll 10 "the window back at 500 by 500" geometry_is 0 0 500 500
pick_menu "$MENU_REDROP"

deadline=$(($(now_ms) + 60000))
until (($(frames_done) >= kFrames)); do
  app_alive || fail "the program died at frame $(frames_done)"
  (($(now_ms) < deadline)) || fail "frame $kFrames not reached, at $(frames_done)"
  sleep 0.2
done
shot last
expect_shaded last

"$close_window" "$WID"
deadline=$(($(now_ms) + 30000))
while app_alive; do
  (($(now_ms) < deadline)) || fail "the program did not exit after its window was closed"
  sleep 0.1
done
status=0
wait "$APP_PID" || status=$?
APP_PID=""
note "exit status $status after $(frames_done) marked frames"

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
