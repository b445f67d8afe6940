#!/usr/bin/env bash
# A replayed session rendered with no display into every kind of output and read back: MP4 and
# WebM (frames, size, rate, yuv420p), an animated WebP (frames, canvas, 20 ms a frame), a
# directory of PNG frames. The mesh export alone needs no EGL at all, while a render without it
# fails and leaves nothing. Bad names and faults: one line, the right status, nothing replaced
# and nothing left behind. Progress shows on a terminal only, and not with --quiet.
# Usage: render_formats.sh <vellumry binary> <session file>
set -euo pipefail
program=$1
session=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vellumry-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
ticks=$(awk '$2 == "end" { print $1 }' "$session")
export LIBGL_ALWAYS_SOFTWARE=1

# run <session> <option>...: the program with no display; sets status, output in $work/err.
run() {
  status=0
  env -u DISPLAY "$program" --replay "$@" >"$work/out" 2>"$work/err" || status=$?
}

for out in clip.mp4 clip.webm clip.webp frames; do
  run "$session" --render "$work/$out" --size 128x72
  ((status == 0)) || fail "--render $out: status $status: $(cat "$work/err")"
done
for kind in mp4 webm; do
  got=$(ffprobe -v error -count_frames -select_streams v:0 -of default=nw=1 -show_entries \
    stream=nb_read_frames,width,height,r_frame_rate,pix_fmt "$work/clip.$kind" | sort | tr '\n' ' ')
  [[ "$got" == "height=72 nb_read_frames=$ticks pix_fmt=yuv420p r_frame_rate=50/1 width=128 " ]] ||
    fail "$kind reads back as: $got"
done
webpinfo "$work/clip.webp" >"$work/webpinfo" || fail "webpinfo finds the WebP broken"
grep -q 'Canvas size 128 x 72' "$work/webpinfo" || fail "the WebP canvas is not 128 x 72"
frames=$(grep -c '^Chunk ANMF' "$work/webpinfo")
timed=$(grep -c 'Duration: 20$' "$work/webpinfo")
((frames == ticks && timed == ticks)) || fail "WebP: $frames frames, $timed of 20 ms, for $ticks ticks"
pngs=$(find "$work/frames" -name 'frame-*.png' | wc -l)
((pngs == ticks)) || fail "$pngs PNG frames for $ticks ticks"
file -b "$work/frames/frame-$(printf %06d "$ticks").png" | grep -q 'PNG image data, 128 x 72' ||
  fail "the last PNG frame is not 128 x 72"
echo "--- $ticks ticks to MP4, WebM, WebP and PNG frames read back"

# Without any EGL driver: the export alone works, a render fails and leaves nothing.
no_egl=(env __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json)
status=0
"${no_egl[@]}" "$program" --replay "$session" --export "$work/mesh.obj" >/dev/null || status=$?
samples=$(od -An -t d4 -j 28 -N 4 "$work/mesh.pc2" 2>/dev/null | tr -d ' ')
((status == 0 && samples == ticks)) || fail "export without EGL: status $status, $samples samples"
if "${no_egl[@]}" "$program" --replay "$session" --render "$work/no.mp4" --export "$work/no.obj" \
  2>/dev/null; then
  fail "a render without EGL succeeded"
fi
[[ -z "$(find "$work" -name '*no.*')" ]] || fail "a failed render left $(find "$work" -name '*no.*')"

# Faults: status, then the name they touch; each leaves faults/ as it was.
mkdir "$work/faults"
f=$work/faults
printf keep >"$f/taken.mp4"
sed '0,/ check [0-9a-f]*$/s/ check [0-9a-f]*$/ check 0123456789abcdef/' "$session" >"$work/bad.session"
rows=(
  "2 $session --render $f/taken.mp4"
  "2 $session --render $f/clip.gif"
  "2 $session --export $f/mesh.txt"
  "2 $session --render $f/odd.mp4 --size 127x72"
  "1 $session --render $f/taken.mp4/clip.webm"
  "1 $session --export /proc/vellumry-mesh.obj"
  "3 $work/bad.session --render $f/bad.webm --export $f/bad.obj"
  "3 $work/bad.session --render $f/frames"
)
for row in "${rows[@]}"; do
  read -r expected args <<<"$row"
  # shellcheck disable=SC2086 # the row's words are the arguments
  run $args
  lines=$(wc -l <"$work/err")
  ((status == expected && lines == 1)) ||
    fail "$args: status $status (expected $expected), $lines lines: $(cat "$work/err")"
done
[[ "$(ls -A "$f")" == taken.mp4 && "$(cat "$f/taken.mp4")" == keep ]] ||
  fail "the faults left: $(ls -A "$f")"
echo "--- ${#rows[@]} faults refused in one line each, nothing replaced or left behind"

# Progress: on a terminal, updated in place and ended with the whole count; never in a pipe.
script -qec "$program --replay $session --export $work/tty.obj" /dev/null >"$work/tty"
grep -q $'\r'"vellumry: $ticks of $ticks ticks (100%), .* frames/s, done in" "$work/tty" ||
  fail "no progress on a terminal: $(head -c 300 "$work/tty")"
script -qec "$program --replay $session --export $work/quiet.obj --quiet" /dev/null >"$work/quiet"
run "$session" --export "$work/pipe.obj"
! grep -q 'ticks (' "$work/quiet" "$work/err" || fail "progress with --quiet or into a pipe"
echo "--- progress on a terminal only; passed"
