#!/usr/bin/env bash
# The world and the hands-on gestures, recorded: with the ball and the floor enabled both show in
# the picture; on the paused cloth a Ctrl + click pins a particle and a second one frees it, a
# Shift + drag begun on the ball moves it, an Alt + drag across the cloth cuts it. The recording
# holds each as its own record, and replayed with no display it matches its checksums and draws
# the window's last picture.
# Usage: world_gestures.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
session=$WORK/world.session

# inner_pixel <name> <cloth|ball>: "x y" of a pixel of the cloth (green, little red) or of the ball
# (warm: more red than blue; the floor is a neutral grey) whose neighbours 8 pixels away on every
# side are of it too; the one nearest the middle of all such.
inner_pixel() {
  convert "$WORK/$1.png" -depth 8 txt:- | awk -F'[,:() ]+' -v what="$2" '
    NR > 1 {
      r = $3; g = $4; b = $5
      if (what == "cloth" ? g > 90 && r < 60 : r > 80 && r > b + 15) { on[$1 "," $2] = 1; n++ }
    }
    END {
      best = -1
      for (k in on) {
        split(k, p, ",")
        x = p[1]; y = p[2]
        if (!on[(x - 8) "," y] || !on[(x + 8) "," y] || !on[x "," (y - 8)] || !on[x "," (y + 8)])
          continue
        sx += x; sy += y; m++; xs[m] = x; ys[m] = y
      }
      if (m == 0) exit 1
      for (i = 1; i <= m; i++) {
        d = (xs[i] - sx / m) ^ 2 + (ys[i] - sy / m) ^ 2
        if (best < 0 || d < best) { best = d; bx = xs[i]; by = ys[i] }
      }
      print bx, by
    }' || fail "no inner $2 pixel in $1"
}

# warm_pixels <name>: pixels of the ball's warm grey.
warm_pixels() {
  convert "$WORK/$1.png" -depth 8 txt:- |
    awk -F'[,:() ]+' 'NR > 1 && $3 > 80 && $3 > $5 + 15 { n++ } END { print n + 0 }'
}

# grey_pixels <name>: lit pixels with red, green and blue within 6 of each other: the floor.
grey_pixels() {
  convert "$WORK/$1.png" -depth 8 txt:- | awk -F'[,:() ]+' '
    function near(a, b) { return a - b <= 6 && b - a <= 6 }
    NR > 1 && $3 > 30 && near($3, $4) && near($4, $5) { n++ } END { print n + 0 }'
}

# records <word>: how many records of the session are of this kind.
records() { awk -v w="$1" '$2 == w { n++ } END { print n + 0 }' "$session"; }

start_xvfb
start_app "$VELLUMRY" --record "$session" --set ball.enabled=true --set floor.enabled=true
wait_window
wait_frames 30
key space # paused: the particles stay where the clicks find them
wait_redrawn
shot world
ball=$(warm_pixels world) floor=$(grey_pixels world)
note "the ball covers $ball pixels, the floor $floor"
((ball >= 1000)) || fail "no ball in the picture: $ball warm pixels"
((floor >= 5000)) || fail "no floor in the picture: $floor grey pixels"

read -r cx cy < <(inner_pixel world cloth)
for _ in 1 2; do
  xdotool mousemove --window "$WID" "$cx" "$cy" keydown ctrl click 1 keyup ctrl
  wait_redrawn
done

read -r bx by < <(inner_pixel world ball)
xdotool mousemove --window "$WID" "$bx" "$by" keydown shift mousedown 1
wait_redrawn
xdotool mousemove --window "$WID" $((bx + 30)) $((by - 20))
wait_redrawn
xdotool mouseup 1 keyup shift
wait_redrawn
shot moved
moved=$(differing_pixels world moved)
((moved >= 300)) || fail "a Shift + drag on the ball moved it by only $moved pixels"

# Across the whole cloth, through the pinned and freed particle, in three motions.
xdotool mousemove --window "$WID" 5 "$cy" keydown alt mousedown 1
for x in $((cx - 20)) $((cx + 20)) 495; do
  xdotool mousemove --window "$WID" "$x" "$cy"
  wait_redrawn
done
xdotool mouseup 1 keyup alt
wait_redrawn
key space
wait_more_frames 25
key space
wait_redrawn
shot cut
shown_first=$SHOT_FIRST shown_last=$SHOT_LAST
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q"
[[ ! -s "$WORK/stderr" ]] || fail "the program wrote to standard error: $(head -c 500 "$WORK/stderr")"

pins=$(awk '$2 == "pin" { print $3 }' "$session" | sort | uniq -c | awk '{ print $1 }')
[[ "$pins" == 2 ]] || fail "not one particle pinned and freed: $(grep ' pin ' "$session" || true)"
(($(records cut) >= 10)) || fail "the Alt + drag cut only $(records cut) springs"
(($(records press) == 0)) || fail "a modified click reached the cloth as a press"
grep -q ' set ball.centre ' "$session" || fail "the ball's move is not in the recording"
note "recorded: $(records pin) pins, $(records cut) cuts, $(grep -c ' set ball.centre ' "$session") ball moves"

status=0
env -u DISPLAY "$VELLUMRY" --replay "$session" --render "$WORK/replayed" >"$WORK/headless" 2>&1 ||
  status=$?
((status == 0)) || fail "the headless replay exited with $status: $(cat "$WORK/headless")"
grep -q 'checksums matched, the whole session replayed' "$WORK/headless" ||
  fail "replay said: $(tail -n 1 "$WORK/headless")"
best=""
for ((frame = shown_first; frame <= shown_last + 1; ++frame)); do
  file="$WORK/replayed/frame-$(printf %06d "$frame").png"
  [[ -f "$file" ]] || continue
  cp "$file" "$WORK/rendered.png"
  d=$(differing_pixels cut rendered)
  [[ -n "$best" && "$best" -le "$d" ]] || best=$d
done
[[ -n "$best" ]] || fail "the replay rendered none of frames $shown_first to $shown_last"
note "the window's last picture and the replay's frame differ in $best pixels"
((best < 300)) || fail "the window's picture is not the replayed one ($best pixels differ)"
note "passed"
