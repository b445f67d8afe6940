# shellcheck shell=bash
# Shared helpers of the end-to-end tests: each test sources this, runs the real vellumry under its
# own Xvfb with Mesa's software renderer and drives it with xdotool, as a person would.
#
# Facts about freeglut under Xvfb without a window manager that the helpers rely on:
#  - a new window appears at (-1, -1); it is moved to (0, 0) before anything else, and menu picks
#    only work there, since freeglut subtracts the window position from the pointer once more;
#  - the pop-up menu is a separate override-redirect window named "freeglut menu", mapped at the
#    press point (shifted to stay on screen) some tens of milliseconds after the press; entry i
#    spans rows 2 + 25i to 26 + 25i from its top-left; press, move and release sent at once pick
#    the wrong entry or none, so the helper waits for the menu before moving and releasing;
#  - a release off every entry leaves the menu open, and the next press anywhere only closes it.
#
# Usage: source it, call e2e_init "$vellumry_binary", then the helpers below. Every wait is a poll
# with a deadline; the trap kills the program and the X server whatever happens.

set -euo pipefail

# Menu entries, by position (used by the tests that source this).
# shellcheck disable=SC2034
readonly MENU_ROTATE=0 MENU_ENDPOINT_DIST=1 MENU_FLAP=2 MENU_REDROP=3 MENU_DRAW_MODE=4 \
  MENU_FULLSCREEN=5

VELLUMRY=""
WORK=""
XVFB_PID=""
APP_PID=""
WID=""

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

note() {
  echo "--- $*"
}

e2e_cleanup() {
  local status=$?
  if [[ -n "$APP_PID" ]]; then
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
  fi
  if [[ -n "$XVFB_PID" ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  if [[ $status -ne 0 && -n "$WORK" ]]; then
    echo "Test files kept in $WORK" >&2
    for f in "$WORK"/stderr "$WORK"/xvfb.log; do
      if [[ -s "$f" ]]; then
        echo "== $f:" >&2
        tail -n 40 "$f" >&2
      fi
    done
  elif [[ -n "$WORK" ]]; then
    rm -rf "$WORK"
  fi
}

# e2e_init <vellumry binary>
e2e_init() {
  VELLUMRY=$1
  [[ -x "$VELLUMRY" ]] || fail "no program at $VELLUMRY"
  local tool
  for tool in Xvfb xdotool xwininfo import convert compare; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
  done
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/vellumry-e2e.XXXXXX")
  trap e2e_cleanup EXIT
  # Mesa's software renderer, the same on every machine.
  export LIBGL_ALWAYS_SOFTWARE=1
}

# now_ms: monotonic-enough wall clock in milliseconds.
now_ms() {
  date +%s%3N
}

# poll <timeout seconds> <what> <command...>: runs the command every 20 ms until it succeeds.
poll() {
  local timeout=$1 what=$2
  shift 2
  local deadline=$(($(now_ms) + timeout * 1000))
  until "$@"; do
    if (($(now_ms) > deadline)); then
      fail "timed out after ${timeout}s waiting for $what"
    fi
    sleep 0.02
  done
}

# shellcheck disable=SC2120
# start_xvfb [screen size]: a private X server on the first free display; sets DISPLAY. Tries
# again with a fresh server if the one it started cannot be reached.
start_xvfb() {
  local size=${1:-1024x768x24} attempt
  for attempt in 1 2 3; do
    if try_start_xvfb "$size" "$attempt"; then
      note "Xvfb on $DISPLAY"
      return 0
    fi
    note "Xvfb attempt $attempt unusable: $(tail -n 3 "$WORK/xvfb.log" | tr '\n' ' ')"
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  done
  fail "no usable Xvfb after 3 attempts"
}

try_start_xvfb() {
  local size=$1 attempt=$2
  local display_file="$WORK/display.$attempt"
  : >"$display_file"
  # -displayfd makes the server pick a free display and write its number once it accepts
  # clients; -noreset keeps it from resetting whenever its last client (say xdotool) goes.
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset 3>"$display_file" \
    >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local deadline=$(($(now_ms) + 15000))
  until (($(wc -l <"$display_file") >= 1)); do
    kill -0 "$XVFB_PID" 2>/dev/null || return 1
    (($(now_ms) <= deadline)) || return 1
    sleep 0.02
  done
  DISPLAY=":$(head -n 1 "$display_file")"
  export DISPLAY
  # The server must be ours and answer: still running, and a client can connect.
  kill -0 "$XVFB_PID" 2>/dev/null && xdotool getdisplaygeometry >/dev/null 2>&1
}

app_alive() {
  kill -0 "$APP_PID" 2>/dev/null
}

# shellcheck disable=SC2120
# start_app [program]: starts the program (vellumry by default) with stdout and stderr in $WORK.
start_app() {
  local program=${1:-$VELLUMRY}
  "$program" >"$WORK/stdout" 2>"$WORK/stderr" &
  APP_PID=$!
}

find_window() {
  app_alive || fail "the program exited (status $(wait "$APP_PID"; echo $?))"
  WID=$(xdotool search --onlyvisible --name '^Vellumry$' 2>/dev/null | head -n 1) || true
  [[ -n "$WID" ]]
}

# window_geometry <window>: prints "x y width height" (absolute position).
window_geometry() {
  xwininfo -id "$1" | awk '
    /Absolute upper-left X:/ { x = $NF }
    /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF }
    /^ *Height:/ { h = $NF }
    END { print x, y, w, h }'
}

window_at_origin() {
  local x y rest
  read -r x y rest < <(window_geometry "$WID")
  if [[ "$x" == 0 && "$y" == 0 ]]; then
    return 0
  fi
  xdotool windowmove "$WID" 0 0
  return 1
}

# wait_window: waits for the program's window, then moves it to (0, 0) and waits until it is there.
wait_window() {
  poll 10 "the Vellumry window" find_window
  xdotool windowmove "$WID" 0 0
  poll 5 "the window to move to (0, 0)" window_at_origin
}

# expect_geometry <x> <y> <width> <height>
expect_geometry() {
  local actual
  actual=$(window_geometry "$WID")
  [[ "$actual" == "$*" ]] || fail "window geometry is '$actual', expected '$*'"
}

geometry_is() {
  [[ "$(window_geometry "$WID")" == "$*" ]]
}

MENU_WID=""
menu_mapped() {
  MENU_WID=$(xdotool search --onlyvisible --name '^freeglut menu$' 2>/dev/null | head -n 1) || true
  [[ -n "$MENU_WID" ]]
}

menu_unmapped() {
  ! xdotool search --onlyvisible --name '^freeglut menu$' >/dev/null 2>&1
}

# pick_menu <entry index> [x y]: picks an entry of the right-button menu opened at (x, y), by
# default the middle of the window: press, wait for the menu, move onto the entry, release.
pick_menu() {
  local entry=$1 x=${2:-250} y=${3:-250}
  menu_unmapped || fail "a menu is already open"
  xdotool mousemove "$x" "$y"
  xdotool mousedown 3
  poll 5 "the menu to open" menu_mapped
  local mx my mw mh
  read -r mx my mw mh < <(window_geometry "$MENU_WID")
  local target_y=$((my + 2 + 25 * entry + 12))
  ((target_y < my + mh)) || fail "menu entry $entry outside the menu ($mw x $mh)"
  xdotool mousemove $((mx + mw / 2)) "$target_y"
  # The program must see the pointer over the entry before the release.
  sleep 0.05
  xdotool mouseup 3
  poll 5 "the menu to close after picking entry $entry" menu_unmapped
}

# drag_start <x> <y>, drag_to <x> <y>, drag_end: a left-button drag, held between the calls.
drag_start() {
  xdotool mousemove "$1" "$2"
  xdotool mousedown 1
}

drag_to() {
  xdotool mousemove "$1" "$2"
}

drag_end() {
  xdotool mouseup 1
}

# shot <name>: the 500 by 500 window area of the screen, as $WORK/<name>.png.
shot() {
  import -window root -crop 500x500+0+0 +repage "$WORK/$1.png"
}

# shot_screen <name>: the whole screen.
shot_screen() {
  import -window root "$WORK/$1.png"
}

# colour_stats <name>: from the picture's histogram, prints
#   "<pixels> <lit> <grey> <cyan> <hue_ratio>"
# lit: pixels with any channel above 40; grey: lit pixels whose channels differ by at most 12
# (white and grey lines); cyan: lit pixels of the material's colour, green well above red and
# blue between 0.6 and 1.0 of green (both measured above the red floor that ambient light gives);
# hue_ratio: over lit pixels, mean of (blue - red) / (green - red), about 0.8 for the material.
colour_stats() {
  convert "$WORK/$1.png" -depth 8 -format %c histogram:info: | awk '
    {
      if (!match($0, /\([0-9]+,[0-9]+,[0-9]+/)) next
      n = $1 + 0
      split(substr($0, RSTART + 1, RLENGTH - 1), c, ",")
      r = c[1] + 0; g = c[2] + 0; b = c[3] + 0
      total += n
      max = r; if (g > max) max = g; if (b > max) max = b
      min = r; if (g < min) min = g; if (b < min) min = b
      if (max <= 40) next
      lit += n
      if (max - min <= 12) grey += n
      if (g - r > 40) {
        ratio = (b - r) / (g - r)
        if (ratio >= 0.6 && ratio <= 1.0) cyan += n
        ratio_sum += n * ratio
        ratio_n += n
      }
    }
    END {
      printf "%d %d %d %d %.3f\n", total, lit, grey, cyan, (ratio_n ? ratio_sum / ratio_n : -1)
    }'
}

# expect_shaded <name>: a lit cloth in the material's green-cyan.
expect_shaded() {
  local total lit grey cyan ratio
  read -r total lit grey cyan ratio < <(colour_stats "$1")
  note "$1: $total pixels, $lit lit, $grey grey, $cyan green-cyan, blue/green ratio $ratio"
  ((total == 250000)) || fail "$1: picture has $total pixels, not 500 x 500"
  ((lit >= 20000)) || fail "$1: only $lit lit pixels; expected a lit cloth (20000 or more)"
  ((cyan * 10 >= lit * 9)) || fail "$1: only $cyan of $lit lit pixels are green-cyan"
  awk -v r="$ratio" 'BEGIN { exit !(r >= 0.7 && r <= 0.95) }' ||
    fail "$1: mean (blue - red) / (green - red) is $ratio, expected 0.8 (up to 1 where green saturates)"
}

# expect_wireframe <name>: white or grey lines on black, far fewer lit pixels than a surface.
expect_wireframe() {
  local total lit grey cyan ratio
  read -r total lit grey cyan ratio < <(colour_stats "$1")
  note "$1: $total pixels, $lit lit, $grey grey, $cyan green-cyan"
  ((total == 250000)) || fail "$1: picture has $total pixels, not 500 x 500"
  ((lit >= 2000)) || fail "$1: only $lit lit pixels; expected the lines of the springs"
  ((lit <= 20000)) || fail "$1: $lit lit pixels; expected thin lines, not a surface"
  ((grey == lit)) || fail "$1: $((lit - grey)) of $lit lit pixels are coloured, not white or grey"
}

# lit_pixels <name>
lit_pixels() {
  local total lit rest
  read -r total lit rest < <(colour_stats "$1")
  echo "$lit"
}

# differing_pixels <a> <b>: pixels that differ by more than 10% between two pictures.
differing_pixels() {
  local out
  # compare exits with 1 when the pictures differ; the count is on stderr either way.
  out=$(compare -metric AE -fuzz 10% "$WORK/$1.png" "$WORK/$2.png" null: 2>&1) || true
  [[ "$out" =~ ^[0-9]+$ ]] || fail "compare of $1 and $2 failed: $out"
  echo "$out"
}

# wait_settled [timeout]: waits until two pictures 300 ms apart differ in few pixels, that is the
# cloth has nearly stopped swinging.
SETTLE_INDEX=0
settled() {
  SETTLE_INDEX=$((SETTLE_INDEX + 1))
  shot "settle_a$SETTLE_INDEX"
  sleep 0.3
  shot "settle_b$SETTLE_INDEX"
  local d
  d=$(differing_pixels "settle_a$SETTLE_INDEX" "settle_b$SETTLE_INDEX")
  ((d < 600))
}

wait_settled() {
  poll "${1:-15}" "the cloth to settle" settled
}
