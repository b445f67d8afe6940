#!/usr/bin/env bash
# A replayed session rendered with no display into every kind of output and read back: MP4 and
# WebM (frames, size, rate, yuv420p), an animated WebP (frames, canvas, 20 ms a frame), a
# directory of PNG frames. The mesh export alone needs no EGL at all, while a render without it
# fails and leaves nothing. Bad names and faults: one line, the right status, nothing replaced
# and nothing left behind. Progress shows on a terminal only, and not with --quiet. Every kind of
# frame is the right way up; an output already there is replaced only with --force; a disk that
# fills up midway ends the run with status 1 and leaves nothing.
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
echo "--- progress on a terminal only"

# The right way up: the middle frame of each video and of the WebP is the PNG frame (the
# window's own picture, as record_replay.sh shows), far nearer to it than to its mirror image.
differs() { convert "$1" "$2" -compose difference -composite -format '%[fx:mean]' info:; }
k=$((ticks / 2))
png=$work/frames/frame-$(printf %06d "$k").png
convert "$png" -flip "$work/flipped.png"
for kind in mp4 webm webp; do
  if [[ $kind == webp ]]; then
    webpmux -get frame "$k" "$work/clip.webp" -o "$work/one.webp" >/dev/null
    dwebp -quiet "$work/one.webp" -o "$work/$kind.png"
  else
    ffmpeg -v error -i "$work/clip.$kind" -vf "select=eq(n\,$((k - 1)))" -frames:v 1 "$work/$kind.png"
  fi
  upright=$(differs "$work/$kind.png" "$png")
  mirrored=$(differs "$work/$kind.png" "$work/flipped.png")
  awk -v u="$upright" -v m="$mirrored" 'BEGIN { exit !(3 * u < m) }' ||
    fail "$kind frame $k: $upright from the PNG frame, $mirrored from it upside down"
done
echo "--- frame $k of MP4, WebM and WebP the right way up"

# Outputs already there: refused without --force (status 2), left as they were, nothing added;
# replaced with it. Each row: the option, its name, the file there, what that file then starts with.
o=$work/over
mkdir -p "$o/frames"
rows=(
  "--render a.mp4 a.mp4 ftyp"
  "--render a.webm a.webm webm"
  "--render a.webp a.webp WEBP"
  "--render frames frames/frame-000001.png PNG"
  "--export m.obj m.obj Vellumry"
  "--export n.obj n.pc2 POINTCACHE2"
)
for row in "${rows[@]}"; do
  read -r option name taken magic <<<"$row"
  printf keep >"$o/$taken"
  size=()
  [[ $option == --export ]] || size=(--size 32x32)
  before=$(ls -AR "$o")
  run "$session" "$option" "$o/$name" "${size[@]}"
  ((status == 2)) && [[ "$(cat "$o/$taken")" == keep && "$(ls -AR "$o")" == "$before" ]] ||
    fail "$option $name over $taken without --force: status $status, $(cat "$work/err")"
  run "$session" "$option" "$o/$name" "${size[@]}" --force
  ((status == 0)) && head -c 64 "$o/$taken" | grep -aqF "$magic" ||
    fail "$option $name --force: status $status, $taken holds $(head -c 16 "$o/$taken")"
done
echo "--- ${#rows[@]} outputs kept without --force and replaced with it"

# A disk that fills up midway (files limited to a few kB; the signal ignored, writes past the
# limit fail): status 1, one line, nothing left, not even the directory made for the frames.
full=$work/full
mkdir -p "$full/kept"
printf keep >"$full/kept/notes"
rows=("16 $full/a.mp4 256x256" "16 $full/a.webm 256x256" "8 $full/a.webp 128x72"
  "1 $full/frames 128x72" "1 $full/kept 128x72")
for row in "${rows[@]}"; do
  read -r kb out size <<<"$row"
  status=0
  (
    trap '' XFSZ
    ulimit -f "$kb"
    exec env -u DISPLAY "$program" --replay "$session" --render "$out" --size "$size"
  ) >"$work/out" 2>"$work/err" || status=$?
  lines=$(wc -l <"$work/err")
  ((status == 1 && lines == 1)) || fail "$out in $kb kB: status $status, $lines lines: $(cat "$work/err")"
done
left=$(cd "$full" && find . | sort | tr '\n' ' ')
[[ "$left" == ". ./kept ./kept/notes " ]] || fail "a full disk left: $left"
echo "--- ${#rows[@]} outputs on a full disk: status 1 and nothing left; passed"
