#!/usr/bin/env bash
# Start-up as a person sees it: the help text on standard output, byte for byte; one window
# titled "Vellumry", 500 by 500; a second later a lit cloth in the material's green-cyan. Closing
# the window ends the program with status 0 and nothing on standard error.
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

# The text is flushed at start-up, long before the program ends (it never does by itself).
help_written() {
  (($(stat -c %s "$WORK/stdout") >= $(stat -c %s "$expected_help")))
}
deadline=$(($(now_ms) + 5000))
until help_written || (($(now_ms) > deadline)); do
  sleep 0.02
done
if ! cmp -s "$expected_help" "$WORK/stdout"; then
  diff <(cat -A "$expected_help") <(cat -A "$WORK/stdout") >&2 || true
  fail "help text differs from $expected_help"
fi

sleep 1
shot shaded
expect_shaded shaded

"$close_window" "$WID"
deadline=$(($(now_ms) + 5000))
while app_alive; do
  (($(now_ms) < deadline)) || fail "the program did not exit after its window was closed"
  sleep 0.05
done
status=0
wait "$APP_PID" || status=$?
APP_PID=""
((status == 0)) || fail "exit status $status after the window was closed"
[[ ! -s "$WORK/stderr" ]] || fail "the program wrote to standard error: $(head -c 500 "$WORK/stderr")"
cmp -s "$expected_help" "$WORK/stdout" || fail "more output after the help text"
note "passed"
