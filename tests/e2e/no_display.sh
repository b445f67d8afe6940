#!/usr/bin/env bash
# Without a display the program fails at once with a non-zero status and GLUT's own message, and
# prints no help text (it gets no further than opening the window).
# Usage: no_display.sh <vellumry binary>
set -euo pipefail
program=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/vellumry-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 "$program" >"$work/stdout" 2>"$work/stderr" || status=$?
echo "--- status $status; stderr: $(cat "$work/stderr")"
if ((status == 0 || status == 124)); then
  echo "FAIL: expected a failure status, got $status" >&2
  exit 1
fi
if ! grep -q "failed to open display" "$work/stderr"; then
  echo "FAIL: no 'failed to open display' on standard error" >&2
  exit 1
fi
if [[ -s "$work/stdout" ]]; then
  echo "FAIL: the program printed to standard output: $(head -c 200 "$work/stdout")" >&2
  exit 1
fi
echo "--- passed"
