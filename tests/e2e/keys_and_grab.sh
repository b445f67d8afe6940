#!/usr/bin/env bash
# Keys and the grab, as a person uses them: space freezes the picture while the cloth is still
# falling and lets it go on; F11 fills the screen with the paused cloth drawn in the same shape
# (the height-to-width ratio of its lit box within 5%) and Esc returns to 500 by 500; on the
# settled cloth a plain left drag before any menu choice changes nothing, while a Shift + left
# drag pulls the cloth; F12 saves the frame as a 500 by 500 PNG in the current directory and
# prints its path, and a second F12 does not replace the first; q ends the program with status 0.
# Usage: keys_and_grab.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

# aspect <name>: height / width of the lit box, in thousandths.
aspect() {
  local w h rest
  read -r w h rest < <(lit_box "$1")
  echo $((h * 1000 / w))
}

start_xvfb 1024x768x24
mkdir "$WORK/shots"
cd "$WORK/shots"
shots=$(pwd -P)
start_app
wait_window

wait_frames 3
key space
wait_redrawn
shot paused_a
shot_apart paused_b 50
frozen=$(differing_pixels paused_a paused_b)
((frozen == 0)) || fail "paused, $frozen pixels changed over $SHOT_APART frames"
key space
# Ten frames counted from when the key has surely been taken in, not from the last picture.
wait_redrawn
wait_more_frames 10
shot falling
moving=$(differing_pixels paused_b falling)
note "paused: no change over 50 frames; resumed: $moving pixels changed over 10 or more frames"
((moving >= 3000)) || fail "after space again the falling cloth barely moved ($moving pixels)"

wait_frames 150
key space
wait_redrawn
shot window
key F11
poll 15 "the window to cover the screen" geometry_is 0 0 1024 768
wait_redrawn
shot_screen full
in_window=$(aspect window)
in_full=$(aspect full)
note "height / width of the lit cloth: $in_window thousandths at 500 by 500, $in_full in full screen"
((in_full * 100 >= in_window * 95 && in_full * 100 <= in_window * 105)) ||
  fail "full screen changed the cloth's shape: $in_full against $in_window thousandths"
key Escape
poll 15 "the window to return to 500 by 500" geometry_is 0 0 500 500
key space

# The settled cloth still sways a little: each drag is measured against 30 untouched frames.
wait_settled
shot settled
shot_apart still 30
read -r w h x y < <(lit_box still)
cx=$((x + w / 2)) cy=$((y + h / 2))
drag_start "$cx" "$cy"
drag_to $((cx + 150)) $((cy - 100))
shot_apart plain 30
drag_end
xdotool keydown shift
drag_start "$cx" "$cy"
drag_to $((cx + 150)) $((cy - 100))
shot_apart pulled 30
drag_end
xdotool keyup shift
still=$(differing_pixels settled still)
plain=$(differing_pixels still plain)
pulled=$(differing_pixels plain pulled)
note "over 30 frames from ($cx, $cy): untouched $still pixels changed, dragged $plain, with Shift $pulled"
((plain <= 2 * still + 1000)) || fail "a plain drag before any menu choice changed $plain pixels"
((pulled >= 5 * still + 3000)) || fail "a Shift drag on the cloth changed only $pulled pixels"

saved() { (($(grep -c '\.png$' "$WORK/stdout") == $1)); }
# The names of the next minute are taken: F12 must pick another, never replace one.
now=$(date +%s)
for ((t = now; t < now + 60; t++)); do
  printf keep >"$shots/vellumry-$(date -d "@$t" +%Y-%m-%d-%H%M%S).png"
done
key F12
poll 15 "the first picture's path" saved 1
key F12
poll 15 "the second picture's path" saved 2
while read -r path; do
  [[ "$path" == "$shots"/vellumry-*.png ]] || fail "F12 printed '$path', not a picture in $shots"
  file -b "$path" | grep -q 'PNG image data, 500 x 500' || fail "$path is not a 500 by 500 PNG"
done < <(grep '\.png$' "$WORK/stdout")
kept=$(grep -lx keep "$shots"/*.png | wc -l)
((kept == 60)) || fail "F12 replaced $((60 - kept)) pictures that were there"
note "F12 twice: two new pictures, $(grep '\.png$' "$WORK/stdout" | xargs -n 1 basename | tr '\n' ' ')"

key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q"
[[ ! -s "$WORK/stderr" ]] || fail "the program wrote to standard error: $(head -c 500 "$WORK/stderr")"
note "passed"
