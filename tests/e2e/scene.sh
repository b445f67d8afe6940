#!/usr/bin/env bash
# A tuned scene from end to end: every example scene loads; a 24 by 24 cloth with softer springs
# is recorded from the window (a Shift grab of a particle beyond the default pool of 400)
# and replayed headless from the scene the session holds, every checksum matching.
# Usage: scene.sh <vellumry binary>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
session=$WORK/tuned.session
tuned=(--grid 24 --set cloth.stiffness=150)

nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$VELLUMRY" "$@"; }
for file in "$(dirname "$0")"/../../data/scenes/*.toml; do
  nodisplay --scene "$file" --print-scene >/dev/null || fail "$file does not load"
done
nodisplay "${tuned[@]}" --print-scene >"$WORK/tuned.toml" || fail "--print-scene failed"

start_xvfb
start_app "$VELLUMRY" "${tuned[@]}" --record "$session"
wait_window
wait_frames 60
shot hanging
read -r w h x y < <(lit_box hanging)
# The lower corner on this side holds a particle of the 24 rows' last third: index 400 or more.
xdotool keydown shift
drag_start $((x + w * 7 / 8)) $((y + h * 7 / 8))
drag_to $((x + w)) $((y + h))
wait_more_frames 20
drag_end
xdotool keyup shift
key q
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after q while recording"
grep -qx 'scene cloth.stiffness 150' "$session" || fail "no scene in: $(head -n 12 "$session")"
awk '$2 == "grab" && $3 >= 400 { found = 1 } END { exit !found }' "$session" ||
  fail "no grab of a particle beyond 400: $(grep grab "$session")"
ticks=$(tail -n 1 "$session" | awk '$2 == "end" { print $1 }')
checks=$(grep -c -E '^[0-9]+ (check|end) [0-9a-f]{16}$' "$session")

nodisplay --replay "$session" --print-scene | cmp -s - "$WORK/tuned.toml" ||
  fail "the session's scene is not the one it was recorded with"
nodisplay --replay "$session" --render "$WORK/rendered" >"$WORK/replay" 2>&1 ||
  fail "the headless replay failed: $(cat "$WORK/replay")"
[[ "$(tail -n 1 "$WORK/replay")" == "vellumry: $session: $checks checksums matched, the whole session replayed at tick $ticks" ]] ||
  fail "replay said '$(tail -n 1 "$WORK/replay")', expected $checks checksums up to tick $ticks"
frames=$(find "$WORK/rendered" -name 'frame-*.png' | wc -l)
((frames == ticks)) || fail "$frames frames rendered for $ticks ticks"
note "passed: $ticks ticks of a 24 by 24 cloth recorded and replayed, $checks checksums matched"
