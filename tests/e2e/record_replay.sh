#!/usr/bin/env bash
# A session recorded from the real window, driven with xdotool (a menu pick, a flap, DrawMode by
# key, a pause with a single step, a Shift grab), ended with q; replayed in the window it matches
# every checksum, and so it does rendered with no display at all, one PNG per tick. A paused frame
# rendered headless matches the window's at the same tick: no channel of any pixel differs by
# more than 1 in 255 (the same renderer behind GLX and EGL rounds a little differently).
# With arguments (a cloth fine enough to take its steps ahead of the frames, whose inputs may be
# held behind them), the window records with them and only the session's replays are checked.
# Usage: record_replay.sh <vellumry binary> [vellumry's arguments]
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
shift
session=$WORK/live.session

# verdict <file>: the replay's last line must say every checksum matched; prints their number.
verdict() {
  local line checks
  line=$(tail -n 1 "$1")
  checks=$(grep -c -E '^[0-9]+ (check|end) [0-9a-f]{16}$' "$session")
  [[ "$line" == "vellumry: $session: $checks checksums matched, the whole session replayed at tick $ticks" ]] ||
    fail "replay said '$line', expected all $checks checksums to match up to tick $ticks"
  echo "$checks"
}

start_xvfb
start_app "$VELLUMRY" --record "$session" "$@"
wait_window
wait_frames 20
if (($# > 0)); then
  key f  # the same event; a menu over a busy window may open blank for a while
else
  pick_menu "$MENU_FLAP"
fi
drag_start 250 250
drag_to 300 230
wait_more_frames 20
drag_end
key w
wait_more_frames 5
key w
key space
wait_more_frames 10
key s
key space
wait_more_frames 40
shot hanging
read -r w h x y < <(lit_box hanging)
xdotool keydown shift
drag_start $((x + w / 2)) $((y + h / 2))
drag_to $((x + w / 2 + 120)) $((y + h / 2 - 80))
wait_more_frames 30
drag_end
xdotool keyup shift
wait_more_frames 40
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q while recording"
ticks=$(tail -n 1 "$session" | awk '$2 == "end" { print $1 }')
[[ -n "$ticks" ]] || fail "the recording does not end with an end record: $(tail -n 1 "$session")"
for word in menu press motion release pause step grab pull check; do
  grep -q "^[0-9]* $word" "$session" || fail "the recording has no '$word' record"
done

start_app "$VELLUMRY" --replay "$session"
wait_app_exit $((60 + ticks / 5))
((APP_STATUS == 0)) || fail "the replay in the window exited with $APP_STATUS: $(cat "$WORK/stderr")"
checks=$(verdict "$WORK/stdout")
status=0
env -u DISPLAY "$VELLUMRY" --replay "$session" --render "$WORK/rendered" >"$WORK/headless" 2>&1 ||
  status=$?
((status == 0)) || fail "the headless replay exited with $status: $(cat "$WORK/headless")"
verdict "$WORK/headless" >/dev/null
frames=$(find "$WORK/rendered" -name 'frame-*.png' | wc -l)
((frames == ticks)) || fail "$frames frames rendered for $ticks ticks"
file -b "$WORK/rendered/frame-$(printf %06d "$ticks").png" | grep -q 'PNG image data, 500 x 500' ||
  fail "the last frame is not a 500 by 500 PNG picture"
note "recorded $ticks ticks; both replays matched all $checks checksums; $frames frames rendered"
if (($# > 0)); then
  note "passed"
  exit 0
fi

printf 'vellumry-session 1\n0 menu 2\n0 press 250 250\n0 motion 300 240\n30 release 0 0\n60 pause\n2000 end\n' \
  >"$WORK/paused.session"
env -u DISPLAY "$VELLUMRY" --replay "$WORK/paused.session" --render "$WORK/paused" >/dev/null
start_app "$VELLUMRY" --replay "$WORK/paused.session"
wait_window
wait_frames 70
wait_redrawn
shot window
largest=$(convert "$WORK/window.png" "$WORK/paused/frame-000070.png" -compose difference -composite \
  -format '%[fx:round(255 * maxima)]' info:)
differing=$(compare -metric AE "$WORK/window.png" "$WORK/paused/frame-000070.png" null: 2>&1) || true
note "paused frame: $differing pixels differ between window and headless, by at most $largest in 255"
((largest <= 1)) || fail "the headless frame differs from the window's by up to $largest in 255"
note "passed"
