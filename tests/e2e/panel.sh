#!/usr/bin/env bash
# The live panel, recorded: Tab shows it over the paused cloth and leaves the rest of the picture
# alone; a left drag begun on it does not turn the view, and hidden again the picture is the
# panel-free one, pixel for pixel. A drag begun on the cloth turns it across the panel and stops
# on a release over it. The panel's Pause, Wireframe and Redrop act; a grid size typed into it
# (with a program key among the digits, which must not reach the program) builds a coarser cloth.
# The recording holds the panel's inputs, and no press but the cloth's own.
# Usage: panel.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
session=$WORK/panel.session

# Where the panel's controls are drawn: its window spans x 8 to 308 from the top.
readonly PAUSE="28 45" REDROP="150 45" ROTATE="26 68" WIREFRAME="136 91" GRID="90 118"
readonly FIGURES="60 348" PANEL_RIGHT=312

# click_at "<x> <y>"
click_at() {
  xdotool mousemove --window "$WID" "${1% *}" "${1#* }" click 1
  wait_redrawn
}

# beside_panel <a> <b>: pixels that differ at all between two pictures, right of the panel.
beside_panel() {
  local out crop="$((500 - PANEL_RIGHT))x500+$PANEL_RIGHT+0"
  out=$(compare -metric AE "$WORK/$1.png[$crop]" "$WORK/$2.png[$crop]" null: 2>&1) || true
  [[ "$out" =~ ^[0-9]+$ ]] || fail "compare of $1 and $2 failed: $out"
  echo "$out"
}

# hidden_shot <name>: a picture of the cloth alone, the panel hidden for it and shown again.
hidden_shot() {
  key Tab
  wait_redrawn
  shot "$1"
  key Tab
  wait_redrawn
}

start_xvfb
start_app "$VELLUMRY" --record "$session"
wait_window
wait_frames 40
key space
wait_redrawn
shot plain
key Tab
wait_redrawn
shot shown
on_panel=$(differing_pixels plain shown)
((on_panel >= 50000)) || fail "Tab showed no panel: $on_panel pixels changed"
(($(beside_panel plain shown) == 0)) || fail "showing the panel changed the picture beside it"

click_at "$ROTATE"
drag_start "${FIGURES% *}" "${FIGURES#* }"
drag_to 480 348
wait_more_frames 10
shot held
# Released and Tab at once: Tab hides the panel even before the panel has seen the release.
xdotool mouseup 1 mousemove --window "$WID" 250 250 key Tab
wait_redrawn
(($(beside_panel shown held) == 0)) || fail "a drag begun on the panel turned the cloth"
shot hidden
same=$(compare -metric AE "$WORK/plain.png" "$WORK/hidden.png" null: 2>&1) || true
[[ "$same" == 0 ]] || fail "hidden again, $same pixels differ from the panel-free picture"
key Tab
wait_redrawn

drag_start 360 250
drag_to 260 250
wait_more_frames 5
drag_end
wait_redrawn
shot turned
shot_apart stopped 10
turned=$(beside_panel held turned)
((turned >= 1000)) || fail "a drag begun on the cloth turned it by only $turned pixels"
(($(beside_panel turned stopped) == 0)) || fail "a release over the panel did not stop the turn"

click_at "$PAUSE"
shot_apart resumed 10
moved=$(beside_panel stopped resumed)
click_at "$PAUSE"
((moved >= 300)) || fail "the panel's Pause did not resume the cloth ($moved pixels changed)"

click_at "$WIREFRAME"
click_at "$REDROP"
hidden_shot fine
xdotool keydown ctrl mousemove --window "$WID" "${GRID% *}" "${GRID#* }" click 1 keyup ctrl
wait_redrawn
xdotool type w4
xdotool key Return
wait_redrawn
hidden_shot coarse
expect_wireframe fine
fine=$(lit_pixels fine) coarse=$(lit_pixels coarse)
note "flat wireframe: $fine lit pixels at 15 by 15, $coarse after typing 4"
# A 'w' that reached the program would have drawn the lit surface: far more pixels, not fewer.
((coarse >= 300 && coarse * 10 <= fine * 6)) ||
  fail "typing 4 into cloth.grid left $coarse of $fine lit pixels"

key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q"
[[ ! -s "$WORK/stderr" ]] || fail "the program wrote to standard error: $(head -c 500 "$WORK/stderr")"
count() { grep -c -E "^[0-9]+ $1\$" "$session" || true; }
(($(count 'pause') == 3)) || fail "$(count 'pause') pause records, expected space and the panel's two"
(($(count 'press [0-9]+ [0-9]+') == 1)) || fail "a press on the panel reached the cloth"
for menu in 0 4 99; do
  (($(count "menu $menu") >= 1)) || fail "the panel's menu $menu is not in the recording"
done
(($(count 'set cloth.grid 4') == 1)) || fail "the typed grid is not one set record: $(grep set "$session")"
# What the panel did replays bit for bit, with no display.
env -u DISPLAY "$VELLUMRY" --replay "$session" --render "$WORK/replayed" --size 64x64 \
  >"$WORK/replay" 2>&1 ||
  fail "the panel's session does not replay: $(cat "$WORK/replay")"
grep -q 'checksums matched, the whole session replayed' "$WORK/replay" ||
  fail "replay said: $(tail -n 1 "$WORK/replay")"
note "passed"
