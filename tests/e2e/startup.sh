#!/usr/bin/env bash
# Start-up as a person sees it: the help text on standard output, byte for byte; one window
# titled "Vellumry", 500 by 500; after 50 frames (a second of the program's time) a lit cloth in
# the material's green-cyan. Closing the window ends the program with status 0 and nothing on
# standard error.
# Usage: startup.sh <vellumry binary> <expected help text file> <close_window helper>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
expected_help=$2
close_window=$3

start_xvfb
start_app
wait_window
expect_geometry 0 0 500 500
[[ "$(xdotool getwindowname "$WID")" == "Vellumry" ]] || fail "window title is not Vellumry"
count=$(xdotool search --onlyvisible --name . 2>/dev/null | wc -l)
((count == 1)) || fail "$count visible named windows, expected the program's one"

# The text is written and flushed before the frame loop starts (the program never ends by itself).
wait_frames 1
if ! cmp -s "$expected_help" "$WORK/stdout"; then
  diff <(cat -A "$expected_help") <(cat -A "$WORK/stdout") >&2 || true
  fail "help text differs from $expected_help"
fi

wait_frames 50
shot shaded
expect_shaded shaded

"$close_window" "$WID"
wait_app_exit
((APP_STATUS == 0)) || fail "exit status $APP_STATUS after the window was closed"
[[ ! -s "$WORK/stderr" ]] || fail "the program wrote to standard error: $(head -c 500 "$WORK/stderr")"
cmp -s "$expected_help" "$WORK/stdout" || fail "more output after the help text"
note "passed"
