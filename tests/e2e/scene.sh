#!/usr/bin/env bash
# A tuned scene from end to end. With no display: --print-scene writes a scene file that reads
# back to itself, and every example scene loads. Under Xvfb: a 24 by 24 cloth with softer springs
# is recorded from the window (a flap, two Shift grabs, one of them of a particle beyond the 15 by
# 15 cloth's 400), and replayed headless from the scene the session holds, every checksum matching.
# Usage: scene.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
session=$WORK/tuned.session
tuned=(--grid 24 --set cloth.stiffness=150)

nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$VELLUMRY" "$@"; }
nodisplay "${tuned[@]}" --print-scene >"$WORK/tuned.toml" || fail "--print-scene failed"
grep -qx 'grid = 24' "$WORK/tuned.toml" || fail "the printed scene has no 'grid = 24'"
nodisplay --scene "$WORK/tuned.toml" --print-scene | cmp -s - "$WORK/tuned.toml" ||
  fail "the printed scene does not read back to itself"
for file in "$(dirname "$0")"/../../data/scenes/*.toml; do
  nodisplay --scene "$file" --print-scene >/dev/null || fail "$file does not load"
done

# grab_at <x> <y>: a Shift + left drag from there, held 20 frames.
grab_at() {
  xdotool keydown shift
  drag_start "$1" "$2"
  drag_to $(($1 + 40)) $(($2 + 30))
  wait_more_frames 20
  drag_end
  xdotool keyup shift
}

start_xvfb
start_app "$VELLUMRY" "${tuned[@]}" --record "$session"
wait_window
wait_frames 20
pick_menu "$MENU_FLAP"
drag_start 250 250
drag_to 300 220
wait_more_frames 30
drag_end
wait_more_frames 40
shot hanging
read -r w h x y < <(lit_box hanging)
grab_at $((x + w / 8)) $((y + h * 7 / 8))
grab_at $((x + w * 7 / 8)) $((y + h * 7 / 8))
wait_more_frames 20
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q while recording"
grep -qx 'scene cloth.grid 24' "$session" && grep -qx 'scene cloth.stiffness 150' "$session" ||
  fail "the recording does not hold its scene: $(head -n 12 "$session")"
awk '$2 == "grab" && $3 >= 400 { found = 1 } END { exit !found }' "$session" ||
  fail "no grab of a particle beyond 400: $(grep grab "$session")"
ticks=$(tail -n 1 "$session" | awk '$2 == "end" { print $1 }')
[[ -n "$ticks" ]] || fail "the recording does not end with an end record"
checks=$(grep -c -E '^[0-9]+ (check|end) [0-9a-f]{16}$' "$session")

nodisplay --replay "$session" --print-scene | cmp -s - "$WORK/tuned.toml" ||
  fail "the session's scene is not the one it was recorded with"
status=0
nodisplay --replay "$session" --render "$WORK/rendered" >"$WORK/replay" 2>&1 || status=$?
((status == 0)) || fail "the headless replay exited with $status: $(cat "$WORK/replay")"
[[ "$(tail -n 1 "$WORK/replay")" == "vellumry: $session: $checks checksums matched, the whole session replayed at tick $ticks" ]] ||
  fail "replay said '$(tail -n 1 "$WORK/replay")', expected all $checks checksums up to tick $ticks"
frames=$(find "$WORK/rendered" -name 'frame-*.png' | wc -l)
((frames == ticks)) || fail "$frames frames rendered for $ticks ticks"
note "recorded $ticks ticks of a 24 by 24 cloth; the headless replay matched all $checks checksums"
note "passed"
