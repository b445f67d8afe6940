#!/usr/bin/env bash
# The ball and the floor show; on the paused cloth a Ctrl + click pins a particle and a second frees
# it, an Alt + drag across it cuts it. The recording holds each, and replayed with no display it
# matches its checksums and draws the window's last picture (not antialiased, as the window).
# Usage: world_gestures.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
session=$WORK/world.session

# pixels <name> <cloth|ball|floor>: "count x y": how many pixels are of the cloth (green), the ball
# (warm) or the floor (grey), and the one nearest their middle with all four 8 pixels away alike.
pixels() {
  convert "$WORK/$1.png" -depth 8 txt:- | awk -F'[,:() ]+' -v what="$2" '
    NR > 1 && (what == "cloth" ? $4 > 90 && $3 < 60 : what == "ball" ? $3 > 80 && $3 > $5 + 15 \
                 : $3 > 30 && ($3 - $4) ^ 2 <= 36 && ($4 - $5) ^ 2 <= 36) {
      on[$1 "," $2] = 1; n++; sx += $1; sy += $2
    }
    END {
      for (k in on) {
        split(k, p, ","); x = p[1]; y = p[2]; d = (x - sx / n) ^ 2 + (y - sy / n) ^ 2
        if (on[(x - 8) "," y] && on[(x + 8) "," y] && on[x "," (y - 8)] && on[x "," (y + 8)] &&
            (best == "" || d < best)) { best = d; bx = x; by = y }
      }
      print n + 0, bx + 0, by + 0
    }'
}

start_xvfb
start_app "$VELLUMRY" --record "$session" --set ball.enabled=true --set floor.enabled=true
wait_window
wait_frames 30
key space # paused: the particles stay where the clicks find them
wait_redrawn
shot world
read -r ball _ _ < <(pixels world ball) && read -r floor _ _ < <(pixels world floor)
((ball >= 1000 && floor >= 5000)) || fail "no ball ($ball pixels) or floor ($floor) in the picture"
read -r _ cx cy < <(pixels world cloth)
for _ in 1 2; do
  xdotool mousemove --window "$WID" "$cx" "$cy" keydown ctrl click 1 keyup ctrl
done
# Across the whole cloth, through the pinned and freed particle, in three motions.
xdotool mousemove --window "$WID" 5 "$cy" keydown alt mousedown 1
for x in $((cx - 20)) $((cx + 20)) 495; do
  xdotool mousemove --window "$WID" "$x" "$cy" && wait_redrawn
done
xdotool mouseup 1 keyup alt
key space # on, for the cut to show, and paused again for a still picture
wait_more_frames 25
key space
wait_redrawn
shot cut
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q"
[[ ! -s "$WORK/stderr" ]] || fail "the program wrote to standard error: $(head -c 500 "$WORK/stderr")"
pins=$(awk '$2 == "pin" { print $3 }' "$session" | sort | uniq -c | awk '{ print $1 }')
[[ "$pins" == 2 ]] || fail "not one particle pinned and freed: $(grep ' pin ' "$session" || true)"
cuts=$(grep -c '^[0-9]* cut ' "$session") || true
((cuts >= 10)) || fail "the Alt + drag cut only $cuts springs"
env -u DISPLAY "$VELLUMRY" --replay "$session" --render "$WORK/replayed" --no-antialias \
  >"$WORK/headless" 2>&1 ||
  fail "the headless replay failed: $(cat "$WORK/headless")"
grep -q 'checksums matched, the whole session replayed' "$WORK/headless" ||
  fail "replay said: $(tail -n 1 "$WORK/headless")"
cp "$WORK/replayed/frame-$(printf %06d "$SHOT_FIRST").png" "$WORK/rendered.png" || fail "no frame"
d=$(differing_pixels cut rendered)
((d == 0)) || fail "the window's picture is not the replayed one ($d pixels differ)"
note "passed"
