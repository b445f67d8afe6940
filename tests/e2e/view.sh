#!/usr/bin/env bash
# The camera, the colours and the picture end to end. A bad view value, colour or picture is refused
# in one line naming it, with status 2 and no window; a picture's corners are drawn where the
# texture coordinates put them; an orbit, a pan and a zoom made in the window are recorded, and the
# headless replay draws the window's last picture.
# Usage: view.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"

convert -size 32x32 xc:red xc:lime +append \( xc:blue xc:yellow +append \) -append "$WORK/quad.png"
convert -size 4097x1 xc:red "$WORK/big.png"
head -c 100 "$WORK/quad.png" >"$WORK/cut.png"
echo "not a picture" >"$WORK/text.png"
printf '[view]\nelevation = 100.0\n' >"$WORK/steep.toml"
printf 'vellumry-session 4\nscene cloth.texture gone.png\n2 end\n' >"$WORK/gone.session"

# refused <what the one line names> <argument...>
refused() {
  local name=$1 status=0
  shift
  env -u DISPLAY "$VELLUMRY" "$@" >"$WORK/out" 2>"$WORK/err" || status=$?
  ((status == 2)) || fail "vellumry $*: status $status, not 2: $(cat "$WORK/err")"
  [[ $(wc -l <"$WORK/err") == 1 ]] || fail "vellumry $*: not one line: $(cat "$WORK/err")"
  grep -qF -- "$name" "$WORK/err" || fail "vellumry $*: '$name' not in: $(cat "$WORK/err")"
}
refused view.elevation --set view.elevation=95
refused view.distance --set view.distance=1
refused view.target --set view.target=nan,0,0
refused view.fov --set view.fov=inf
refused cloth.colour --set cloth.colour=0,1.5,0
refused "cloth.texture $WORK/missing.png: No such file" --set cloth.texture="$WORK/missing.png"
refused "text.png: not a PNG file" --set cloth.texture="$WORK/text.png"
refused "big.png: 4097 by 1 pixels, more than 4096" --set cloth.texture="$WORK/big.png"
refused "cut.png: damaged PNG" --set cloth.texture="$WORK/cut.png"
refused "Is a directory" --set cloth.texture="$WORK"
refused "steep.toml:2: view.elevation" --scene "$WORK/steep.toml"
refused "gone.session: its cloth.texture $WORK/gone.png" --replay "$WORK/gone.session" --render "$WORK/x"
refused "--antialias" --replay "$WORK/gone.session" --render "$WORK/x" --antialias --size 4000x16
note "bad input refused"

# The flat cloth seen from straight below, its rows up the frame: the picture as drawn, its bottom
# left (blue) on particle (0, 0).
cat >"$WORK/corners.session" <<EOF
vellumry-session 4
scene cloth.colour 1 1 1
scene cloth.back_colour 1 1 1
scene cloth.texture quad.png
scene view.azimuth -100
scene view.elevation -90
scene view.distance 7
scene view.target 0.2605 2.5 1.4772
0 pause
1 end
EOF
env -u DISPLAY "$VELLUMRY" --replay "$WORK/corners.session" --render "$WORK/corners" --size 200x200 \
  >/dev/null 2>"$WORK/err" || fail "the corners did not render: $(cat "$WORK/err")"
cp "$WORK/corners/frame-000001.png" "$WORK/corners.png"
read -r w h x y < <(lit_box corners)
# corner <fraction across> <fraction down> <colour>: the dominant channels 10% in from the corner.
corner() {
  local px py rgb
  px=$(awk -v a="$1" -v x="$x" -v w="$w" 'BEGIN { printf "%d", x + w * a }')
  py=$(awk -v a="$2" -v y="$y" -v h="$h" 'BEGIN { printf "%d", y + h * a }')
  rgb=$(convert "$WORK/corners.png" -crop "1x1+$px+$py" -depth 8 txt:- | tail -n 1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/')
  awk -v want="$3" -v rgb="$rgb" 'BEGIN {
    split(rgb, c, " "); got = (c[1] > 100 ? "r" : "") (c[2] > 100 ? "g" : "") (c[3] > 100 ? "b" : "")
    exit !(got == want && c[1] + c[2] + c[3] > 0 && (c[1] < 40 || c[1] > 100) &&
           (c[2] < 40 || c[2] > 100) && (c[3] < 40 || c[3] > 100)) }' ||
    fail "the picture's corner at ($1, $2) is ($rgb), not '$3' (cloth at ${w}x$h+$x+$y)"
}
corner 0.1 0.1 r
corner 0.9 0.1 g
corner 0.1 0.9 b
corner 0.9 0.9 rg
note "the picture's corners where its texture coordinates put them"

start_xvfb
start_app "$VELLUMRY" --record "$WORK/view.session"
wait_window
wait_frames 20
key space # paused: the picture changes only with the camera
wait_redrawn
shot before
xdotool mousemove --window "$WID" 250 250 mousedown 2
for at in "290 240" "330 225" "360 215"; do
  xdotool mousemove --window "$WID" $at && wait_redrawn
done
xdotool mouseup 2 keydown shift mousedown 2
for at in "330 240" "300 270"; do
  xdotool mousemove --window "$WID" $at && wait_redrawn
done
xdotool mouseup 2 keyup shift click 4 click 4
wait_redrawn
shot after
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q"
for key_name in azimuth elevation target distance; do
  grep -q "^[0-9]* set view.$key_name " "$WORK/view.session" ||
    fail "no view.$key_name change recorded: $(grep ' set ' "$WORK/view.session" || true)"
done
moved=$(differing_pixels before after)
((moved > 2000)) || fail "the camera hardly moved: $moved pixels differ"
env -u DISPLAY "$VELLUMRY" --replay "$WORK/view.session" --render "$WORK/replayed" --no-antialias \
  >"$WORK/headless" 2>&1 || fail "the headless replay failed: $(cat "$WORK/headless")"
grep -q 'checksums matched, the whole session replayed' "$WORK/headless" ||
  fail "replay said: $(tail -n 1 "$WORK/headless")"
cp "$WORK/replayed/frame-$(printf %06d "$SHOT_FIRST").png" "$WORK/rendered.png" || fail "no frame"
d=$(differing_pixels after rendered)
((d == 0)) || fail "the window's picture is not the replayed one ($d pixels differ)"
note "passed"
