#!/usr/bin/env bash
# The command line of the real program. With no display: --help and --version answer on standard
# output with status 0; an unknown option, a bad value, a bad session or scene file, a bad --set,
# an unstable scene and an existing recording without --force are refused in one line on
# standard error with status 2, before any display is opened; --print-scene shows later options
# winning over the scene file. Under Xvfb: GLUT's own -geometry still sizes the window.
# Usage: command_line.sh <vellumry binary> <version>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
version=$2

# run <expected status> <args...>: runs the program with no display; output in $WORK/out, err.
run() {
  local want=$1 status=0
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$VELLUMRY" "$@" >"$WORK/out" 2>"$WORK/err" ||
    status=$?
  ((status == want)) || fail "vellumry $*: status $status, expected $want; stderr: $(cat "$WORK/err")"
}

# refused <what stderr must hold> <args...>
refused() {
  local fault=$1
  shift
  run 2 "$@"
  [[ ! -s "$WORK/out" ]] || fail "vellumry $*: wrote to standard output"
  (($(wc -l <"$WORK/err") == 1)) || fail "vellumry $*: not one line: $(cat "$WORK/err")"
  grep -qF -- "$fault" "$WORK/err" || fail "vellumry $*: '$fault' not in: $(cat "$WORK/err")"
  note "refused: $(cat "$WORK/err")"
}

run 0 --help
for text in "Usage: vellumry" --record --replay --render --size -geometry "Shift + left drag" \
  "Ctrl + left click" "Alt + left drag" cloth.pins= tear.ratio "space" "F11" mesh.file=PATH \
  collision.thickness collision.self mesh.scale "[collision], [mesh]"; do
  grep -qF -- "$text" "$WORK/out" || fail "--help does not mention '$text'"
done
[[ ! -s "$WORK/err" ]] || fail "--help wrote to standard error"
run 0 --version
[[ "$(cat "$WORK/out")" == "vellumry $version" ]] || fail "--version printed '$(cat "$WORK/out")'"

refused "unrecognised option '--bogus'; try 'vellumry --help'" --bogus
refused "--size" --replay x --render y --size 3x3
printf 'vellumry-session 1\n0 menu 0\n0 jump 1\n' >"$WORK/bad.session"
refused "$WORK/bad.session:3: unknown event 'jump'" --replay "$WORK/bad.session"
printf '[cloth]\ngrid = 20\nstiffness = -1\n' >"$WORK/bad.toml"
printf '[cloth]\ngrid = 20\nstiffness = 200\n' >"$WORK/good.toml"
refused "$WORK/bad.toml:3: cloth.stiffness must be a number from 0 to 10000" --scene "$WORK/bad.toml"
refused "--set 'cloth.grid': KEY=VALUE expected" --set cloth.grid
printf '[cloth]\ngrid = 8\npins = [[0, 0],\n  [8, 0]]\n' >"$WORK/pins.toml"
refused "$WORK/pins.toml:4: cloth.pins: (8, 0) is outside the 8 by 8 grid" --scene "$WORK/pins.toml"
refused "cloth.pins: (3, 3) is listed twice" --set "cloth.pins=3,3;3,3" --set ball.enabled=true
refused "--set ball.enabled=2: ball.enabled must be true or false" --set ball.enabled=2
run 0 --scene "$WORK/good.toml" --set "cloth.pins=0,0;20,20" --grid 21 --print-scene
grep -qxF 'pins = [[0, 0], [20, 20]]' "$WORK/out" || fail "--set cloth.pins: $(cat "$WORK/out")"
refused "--set cloth.grid=300: cloth.grid must be a whole number from 2 to 256" --grid 300
refused "at most 64 are allowed" --grid 256 --set cloth.stiffness=10000
run 0 --scene "$WORK/good.toml" --grid 30 --set world.gravity=0,-2,0.5 --print-scene
grep -qx 'grid = 30' "$WORK/out" && grep -qx 'stiffness = 200.0' "$WORK/out" &&
  grep -qxF 'gravity = [0.0, -2.0, 0.5]' "$WORK/out" || fail "later options do not win: $(cat "$WORK/out")"
echo keep >"$WORK/kept"
refused "--force" --record "$WORK/kept"
[[ "$(cat "$WORK/kept")" == keep ]] || fail "--record changed an existing file"

# Ranges and readers refuse as every option does: a check without its sum, a key newer than the
# file, threads and size one past their ends, one pin more than the limit.
printf 'vellumry-session 3\n0 menu 0\n50 check\n' >"$WORK/nosum.session"
refused "$WORK/nosum.session:3: 'check' takes one checksum" --replay "$WORK/nosum.session"
printf 'vellumry-session 2\nscene wind.gust 0.5\n' >"$WORK/old.session"
refused "$WORK/old.session:2: 'wind.gust' needs a version 3" --replay "$WORK/old.session"
refused "--threads: Value 0 not in range 1 to 64" --threads 0
refused "--size: '15x16' is not WIDTHxHEIGHT, each from 16 to 8192" --replay x --render y --size 15x16
pins=$(for ((i = 0; i < 1025; i++)); do printf '%d,%d;' $((i % 256)) $((i / 256)); done)
refused "(at most 1024)" --grid 256 --set "cloth.pins=${pins%;}"

start_xvfb
start_app "$VELLUMRY" -geometry 320x240
wait_window
expect_geometry 0 0 320 240
wait_frames 50
shot small
lit=$(lit_pixels small)
note "a 320 by 240 window: $lit lit pixels"
((lit >= 5000)) || fail "only $lit lit pixels in the 320 by 240 window"
note "passed"
