# shellcheck shell=bash
# Shared helpers of the end-to-end tests: each test sources this, runs the real vellumry under its
# own Xvfb with Mesa's software renderer and drives it with xdotool, as a person would.
#
# Facts about freeglut under Xvfb without a window manager that the helpers rely on:
#  - a new window appears at (-1, -1); it is moved to (0, 0) before anything else, and menu picks
#    only work there, since freeglut subtracts the window position from the pointer once more;
#  - the pop-up menu is a separate override-redirect window named "freeglut menu", mapped at the
#    press point (shifted to stay on screen) some tens of milliseconds after the press; entry i
#    spans rows 2 + 25i to 26 + 25i from its top-left, and the entry under the pointer is drawn
#    on white instead of grey once the program has seen the pointer there; press, move and
#    release sent at once pick the wrong entry or none, so the helper waits for the menu, moves
#    onto the entry, waits for it to turn white and only then releases;
#  - a release off every entry leaves the menu open, and the next press anywhere only closes it.
# Under a window manager (start_wm), the window stays where the manager places it, away from the
# origin; there a release compares the pointer relative to the window with the menu's place on
# the screen and picks nothing, so the menu is used by clicking: a right click opens it, a left
# click on an entry picks it.
#
# Time: the program steps the cloth and draws one frame per tick of a 20 ms timer, so what it
# shows depends on the number of frames, not on time. The frame probe (frame_probe.cpp, preloaded
# by start_app) keeps a count of them that wait_frames, wait_more_frames and wait_redrawn wait
# on; a test never sleeps a fixed time for the program.
#
# Usage: source it, call e2e_init "$vellumry_binary" [frame probe], then the helpers below. Every
# wait is a poll with a deadline; the trap kills the program, the window manager and the X server
# whatever happens.

set -euo pipefail

# Menu entries, by position (used by the tests that source this).
# shellcheck disable=SC2034
readonly MENU_ROTATE=0 MENU_ENDPOINT_DIST=1 MENU_FLAP=2 MENU_REDROP=3 MENU_DRAW_MODE=4 \
  MENU_FULLSCREEN=5

VELLUMRY=""
WORK=""
XVFB_PID=""
WM_PID=""
APP_PID=""
APP_STATUS=""
WID=""
FRAME_PROBE=""
FRAMES_FILE=""
FRAME=0
SHOT_FIRST=0
SHOT_LAST=0

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

note() {
  echo "--- $*"
}

e2e_cleanup() {
  local status=$?
  local pid
  for pid in "$APP_PID" "$WM_PID" "$XVFB_PID"; do
    if [[ -n "$pid" ]]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  if [[ $status -ne 0 && -n "$WORK" ]]; then
    echo "Test files kept in $WORK" >&2
    for f in "$WORK"/stderr "$WORK"/xvfb.log "$WORK"/wm.log; do
      if [[ -s "$f" ]]; then
        echo "== $f:" >&2
        tail -n 40 "$f" >&2
      fi
    done
  elif [[ -n "$WORK" ]]; then
    rm -rf "$WORK"
  fi
}

# e2e_init <vellumry binary> [frame probe library]: the probe defaults to $E2E_FRAME_PROBE, which
# the tests' CMake registration sets; without one, start_app preloads nothing and the frame waits
# fail.
e2e_init() {
  VELLUMRY=$1
  FRAME_PROBE=${2:-${E2E_FRAME_PROBE:-}}
  [[ -x "$VELLUMRY" ]] || fail "no program at $VELLUMRY"
  [[ -z "$FRAME_PROBE" || -f "$FRAME_PROBE" ]] || fail "no frame probe at $FRAME_PROBE"
  local tool
  for tool in Xvfb xdotool xwininfo xprop import convert compare; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
  done
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/vellumry-e2e.XXXXXX")
  trap e2e_cleanup EXIT
  if [[ -n "$FRAME_PROBE" ]]; then
    FRAMES_FILE="$WORK/frames"
  fi
  # Mesa's software renderer, the same on every machine.
  export LIBGL_ALWAYS_SOFTWARE=1
}

# now_ms: wall clock in milliseconds, without starting a process.
now_ms() {
  local us=${EPOCHREALTIME/[.,]/}
  echo $((10#$us / 1000))
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

# start_wm: Debian's openbox as the X server's window manager, with a minimal configuration of its
# own (new windows placed in the middle of the free area and focused; alt+F4 closes the focused
# window); returns once it manages windows, that is once it has announced itself on the root
# window (_NET_SUPPORTING_WM_CHECK naming a window that names itself).
start_wm() {
  command -v openbox >/dev/null || fail "openbox is not installed"
  mkdir -p "$WORK/wm/config" "$WORK/wm/cache"
  cat >"$WORK/wm/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy><center>yes</center></placement>
  <desktops><number>1</number></desktops>
  <keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>
  <mouse/>
</openbox_config>
XML
  XDG_CONFIG_HOME="$WORK/wm/config" XDG_CACHE_HOME="$WORK/wm/cache" \
    openbox --sm-disable --config-file "$WORK/wm/rc.xml" >"$WORK/wm.log" 2>&1 &
  WM_PID=$!
  poll 20 "the window manager to start" wm_ready
  note "openbox manages $DISPLAY"
}

wm_ready() {
  kill -0 "$WM_PID" 2>/dev/null || fail "the window manager exited: $(tail -n 5 "$WORK/wm.log")"
  local check
  check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) || return 1
  [[ "$check" =~ (0x[0-9a-f]+) ]] || return 1
  [[ "$(xprop -id "${BASH_REMATCH[1]}" _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *"${BASH_REMATCH[1]}" ]]
}

app_alive() {
  kill -0 "$APP_PID" 2>/dev/null
}

# app_exited <while doing what>: fails, naming the program's exit status.
app_exited() {
  local status=0
  wait "$APP_PID" || status=$?
  APP_PID=""
  fail "the program exited with status $status $1"
}

# shellcheck disable=SC2120
# start_app [program [argument...]]: starts the program (vellumry by default) with its arguments,
# stdout and stderr in $WORK, the frame probe preloaded (before whatever LD_PRELOAD the caller
# gives) and counting frames into $FRAMES_FILE. A sanitized program accepts the preload only with
# ASAN_OPTIONS verify_asan_link_order=0, which is added to the caller's options (the probe
# replaces no allocator or libc function).
start_app() {
  local program=${1:-$VELLUMRY}
  shift || true
  if [[ -z "$FRAME_PROBE" ]]; then
    "$program" "$@" >"$WORK/stdout" 2>"$WORK/stderr" &
    APP_PID=$!
    return 0
  fi
  rm -f "$FRAMES_FILE" "$FRAMES_FILE.tmp"
  local preload=${LD_PRELOAD:-} asan=${ASAN_OPTIONS:-}
  [[ " $preload " == *" $FRAME_PROBE "* ]] || preload="$FRAME_PROBE${preload:+ $preload}"
  [[ "$asan" == *verify_asan_link_order=* ]] || asan="${asan:+$asan:}verify_asan_link_order=0"
  LD_PRELOAD="$preload" ASAN_OPTIONS="$asan" VELLUMRY_PROBE_FRAMES="$FRAMES_FILE" \
    "$program" "$@" >"$WORK/stdout" 2>"$WORK/stderr" &
  APP_PID=$!
}

# read_frame: sets FRAME to the number of frames the program has completed (0 before the first).
read_frame() {
  FRAME=0
  if [[ -n "$FRAMES_FILE" && -f "$FRAMES_FILE" ]]; then
    read -r FRAME <"$FRAMES_FILE" || FRAME=0
    [[ "$FRAME" =~ ^[0-9]+$ ]] || FRAME=0
  fi
}

# frame_count: prints the number of frames the program has completed.
frame_count() {
  read_frame
  echo "$FRAME"
}

# wait_frames <n> [timeout seconds]: waits until the program has completed frame n. The default
# deadline allows 30 s plus 0.1 s for every frame still to come (10 frames a second, a fifth of
# the program's own rate); fails at once if the program exits.
wait_frames() {
  local target=$1 timeout=${2:-}
  [[ -n "$FRAMES_FILE" ]] || fail "waiting for frames needs the frame probe (see e2e_init)"
  read_frame
  local from=$FRAME
  [[ -n "$timeout" ]] || timeout=$((30 + (target > from ? (target - from) / 10 : 0)))
  local deadline=$(($(now_ms) + timeout * 1000))
  while ((FRAME < target)); do
    app_alive || app_exited "while waiting for frame $target (frame $FRAME done)"
    (($(now_ms) <= deadline)) ||
      fail "timed out after ${timeout}s waiting for frame $target: frame $FRAME done, $from when the wait began"
    sleep 0.02
    read_frame
  done
}

# wait_more_frames <n> [timeout seconds]: waits for n frames after the current one.
wait_more_frames() {
  read_frame
  wait_frames $((FRAME + $1)) "${2:-}"
}

# wait_redrawn: waits until the screen shows a frame drawn after the program took in everything
# sent to it before the call (input, menu picks, a new window size). Four frames: the one in
# progress may have begun before the input arrived; the events are handled before the next one,
# but a new window size only after it (GLUT applies it after the timers); the third is drawn with
# everything; its picture is flushed to the server before the fourth begins.
wait_redrawn() {
  wait_more_frames 4
}

find_window() {
  app_alive || app_exited "before its window appeared"
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

# window_managed: the window manager has taken the window on (WM_STATE Normal, frame drawn).
window_managed() {
  xprop -id "$WID" WM_STATE 2>/dev/null | grep -q 'window state: Normal' &&
    xprop -id "$WID" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '='
}

# wait_window: waits for the program's window. Without a window manager it then moves the window
# to (0, 0) and waits until it is there; under one it waits until the manager has placed it and
# leaves it there.
wait_window() {
  poll 20 "the Vellumry window" find_window
  if [[ -n "$WM_PID" ]]; then
    poll 20 "the window manager to take on the window" window_managed
  else
    xdotool windowmove "$WID" 0 0
    poll 10 "the window to move to (0, 0)" window_at_origin
  fi
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

# shellcheck disable=SC2120
# wait_app_exit [timeout seconds]: waits for the program to end (by default 30 s) and sets
# APP_STATUS to its exit status.
wait_app_exit() {
  poll "${1:-30}" "the program to exit" eval '! app_alive'
  APP_STATUS=0
  # shellcheck disable=SC2034 # read by the tests
  wait "$APP_PID" || APP_STATUS=$?
  APP_PID=""
}

# close_by_wm: closes the program's window through the window manager, as a person does: makes it
# the active window, then alt+F4.
close_by_wm() {
  [[ -n "$WM_PID" ]] || fail "close_by_wm needs start_wm"
  timeout 30 xdotool windowactivate --sync "$WID" || fail "the window manager did not activate the window"
  xdotool key alt+F4
}

MENU_WID=""
menu_mapped() {
  MENU_WID=$(xdotool search --onlyvisible --name '^freeglut menu$' 2>/dev/null | head -n 1) || true
  [[ -n "$MENU_WID" ]]
}

menu_unmapped() {
  ! xdotool search --onlyvisible --name '^freeglut menu$' >/dev/null 2>&1
}

# menu_entry_lit <entry> <menu width>: the entry is drawn highlighted (mostly white; black text
# on the menu's grey otherwise), so the program has seen the pointer over it.
menu_entry_lit() {
  local white
  white=$(import -window "$MENU_WID" png:- 2>/dev/null |
    convert png:- -crop "$(($2 - 8))x19+4+$((5 + 25 * $1))" +repage -fill black +opaque white \
      -format '%[fx:mean]' info: 2>/dev/null) || return 1
  awk -v w="$white" 'BEGIN { exit !(w > 0.5) }'
}

# pick_menu <entry index> [x y]: picks an entry of the right-button menu opened at (x, y) in the
# window, by default its middle. Without a window manager: press, wait for the menu, move onto the
# entry, wait for it to light, release. Under one: click to open, then the same with a left click
# on the entry.
pick_menu() {
  local entry=$1 x=${2:-250} y=${3:-250}
  menu_unmapped || fail "a menu is already open"
  if [[ -n "$WM_PID" ]]; then
    xdotool mousemove --window "$WID" "$x" "$y" click 3
  else
    xdotool mousemove --window "$WID" "$x" "$y" mousedown 3
  fi
  poll 30 "the menu to open" menu_mapped
  local mx my mw mh
  read -r mx my mw mh < <(window_geometry "$MENU_WID")
  local target_x=$((mx + mw / 2)) target_y=$((my + 2 + 25 * entry + 12))
  ((target_y < my + mh)) || fail "menu entry $entry outside the menu ($mw x $mh)"
  # Two moves, so that the program sees motion even if the menu opened under the target point.
  xdotool mousemove $((target_x + 2)) "$target_y" mousemove "$target_x" "$target_y"
  poll 30 "menu entry $entry to light under the pointer" menu_entry_lit "$entry" "$mw"
  if [[ -n "$WM_PID" ]]; then
    xdotool click 1
  else
    xdotool mouseup 3
  fi
  poll 30 "the menu to close after picking entry $entry" menu_unmapped
}

# drag_start <x> <y>, drag_to <x> <y>, drag_end: a left-button drag in window coordinates, held
# between the calls.
drag_start() {
  xdotool mousemove --window "$WID" "$1" "$2" mousedown 1
}

drag_to() {
  xdotool mousemove --window "$WID" "$1" "$2"
}

drag_end() {
  xdotool mouseup 1
}

# key <keysym>: a key press in the window. With no window manager the keyboard follows the
# pointer, so the pointer is moved into the window first.
key() {
  xdotool mousemove --window "$WID" 250 250 key "$1"
}

# lit_box <name>: "width height x y" of the box around the picture's lit pixels.
lit_box() {
  local box
  box=$(convert "$WORK/$1.png" -fuzz 15% -format '%@' info:)
  [[ "$box" =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || fail "no lit box in $1: $box"
  echo "${BASH_REMATCH[@]:1}"
}

# shot <name>: the program's window, where it is on the screen, as $WORK/<name>.png. SHOT_FIRST
# and SHOT_LAST are the frames done just before and just after the picture was taken.
shot() {
  local x y w h
  read -r x y w h < <(window_geometry "$WID")
  read_frame
  SHOT_FIRST=$FRAME
  import -window root -crop "$(printf '%dx%d%+d%+d' "$w" "$h" "$x" "$y")" +repage "$WORK/$1.png"
  read_frame
  SHOT_LAST=$FRAME
}

# shot_apart <name> <n>: a shot taken once n frames are done after the previous shot ended; then
# SHOT_APART is the number of frames done between the two pictures (n or a few more).
SHOT_APART=0
shot_apart() {
  local previous=$SHOT_LAST
  wait_frames $((previous + $2))
  shot "$1"
  # shellcheck disable=SC2034 # read by the tests
  SHOT_APART=$((SHOT_FIRST - previous))
}

# shot_screen <name>: the whole screen; sets SHOT_FIRST and SHOT_LAST as shot does.
shot_screen() {
  read_frame
  SHOT_FIRST=$FRAME
  import -window root "$WORK/$1.png"
  read_frame
  SHOT_LAST=$FRAME
}

# lit_outside <name> <x> <y> <width> <height>: lit pixels of a screen picture outside the given
# rectangle (a window's area).
lit_outside() {
  convert "$WORK/$1.png" -fill black -draw "rectangle $2,$3 $(($2 + $4 - 1)),$(($3 + $5 - 1))" \
    -threshold 16% -format '%[fx:round(mean*w*h)]' info:
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

# wait_settled [frames]: waits until two pictures SETTLE_FRAMES frames apart differ in fewer than
# 600 pixels, that is the cloth has nearly stopped swinging; fails if that has not happened within
# the given number of frames from now (by default 1500: half a minute of the program's time).
readonly SETTLE_FRAMES=15
SETTLE_INDEX=0
SETTLE_DIFFERENCE=""
settled() {
  SETTLE_INDEX=$((SETTLE_INDEX + 1))
  shot "settle_a$SETTLE_INDEX"
  shot_apart "settle_b$SETTLE_INDEX" "$SETTLE_FRAMES"
  SETTLE_DIFFERENCE=$(differing_pixels "settle_a$SETTLE_INDEX" "settle_b$SETTLE_INDEX")
  ((SETTLE_DIFFERENCE < 600))
}

# shellcheck disable=SC2120
wait_settled() {
  read_frame
  local last=$((FRAME + ${1:-1500}))
  until settled; do
    ((SHOT_LAST <= last)) || fail "the cloth has not settled by frame $last: pictures $SETTLE_FRAMES frames apart still differ in $SETTLE_DIFFERENCE pixels"
  done
  note "settled by frame $SHOT_LAST"
}
