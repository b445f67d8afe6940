#!/usr/bin/env bash
# Solids from mesh files, with no display: every bad mesh file and bad value is refused in one
# line naming the file or the key, with status 2 and nothing printed; a session with solids,
# written by hand, re-recorded from its replay and replayed again, matches every checksum and
# exports the solid; its mesh changed or missing, the replay is refused naming the file; a
# version 3 session replays as before.
# Usage: mesh_input.sh <vellumry binary> <source data directory>
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_init "$1"
data=$2

nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$VELLUMRY" "$@"; }

# refused <text the one line must hold> <option...>
refused() {
  local name=$1 status=0
  shift
  nodisplay "$@" >"$WORK/out" 2>"$WORK/err" || status=$?
  ((status == 2)) || fail "$* exited with $status, not 2: $(cat "$WORK/err")"
  [[ $(wc -l <"$WORK/err") == 1 ]] && grep -qF -- "$name" "$WORK/err" ||
    fail "$*: one line naming $name expected, got: $(cat "$WORK/err")"
  [[ ! -s $WORK/out ]] || fail "$*: printed $(head -c 200 "$WORK/out")"
}

m=$WORK/bad
mkdir -p "$m/folder.obj"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\n' >"$m/nofaces.obj"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n' >"$m/past.obj"
printf 'ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n%s\n' \
  'property float z' 'element face 1' 'property list uchar int vertex_indices' 'end_header' \
  '0 0 0' '1 0 0' '0 1 0' '3 0 1 3' >"$m/past.ply"
# Binary STL: an 80-byte header, one triangle whose third corner's x is a NaN.
{ printf '%080d\001\000\000\000' 0; head -c 24 /dev/zero; printf '\000\000\200\077'
  head -c 8 /dev/zero; printf '\000\000\300\177\000\000\200\077'; head -c 6 /dev/zero; } >"$m/nan.stl"
{ printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\n'; { yes 'f 1 2 3' || true; } | head -n 200001; } >"$m/many.obj"
for kind in stl ply obj glb; do
  tail -c 5000 "$VELLUMRY" >"$m/bytes.$kind" # bytes that are no mesh, under a mesh's name
done
printf '[collision]\nself = 1\n' >"$WORK/bad.toml"

for file in missing.obj folder.obj nofaces.obj past.obj past.ply nan.stl many.obj \
  bytes.stl bytes.ply bytes.obj bytes.glb; do
  refused "$m/$file: " --set mesh.file="$m/$file" --print-scene
done
refused "many.obj: 200001 triangles, more than the 200000" --set mesh.file="$m/many.obj" --print-scene
refused "past.ply: not a mesh file (" --set mesh.file="$m/past.ply" --print-scene
for value in mesh.scale=0 mesh.scale=-1 collision.thickness=-0.5 collision.thickness=inf \
  collision.self=yes; do
  refused "--set $value: ${value%%=*} must be" --set "$value" --print-scene
done
refused "$WORK/bad.toml:2: collision.self must be true or false, not 1" --scene "$WORK/bad.toml"
note "every bad mesh file and value refused"

# A session names its meshes relative to its own folder; the re-recording, in another folder,
# names them relative to that one, each with the digest of its solid.
mkdir -p "$WORK/meshes" "$WORK/hand" "$WORK/golden"
cp "$data/meshes/table.obj" "$data/meshes/gem.obj" "$WORK/meshes/"
printf '%s\n' 'vellumry-session 4' 'scene cloth.grid 12' 'scene pins clear' \
  'scene mesh.position 1.5 -2 1.5' 'scene mesh.file ../meshes/table.obj' '0 menu 0' \
  '10 mesh ../meshes/gem.obj' '20 set mesh.scale 2' '30 mesh none' '40 mesh ../meshes/table.obj' \
  '60 end' >"$WORK/hand/hand.session"
golden=$WORK/golden/golden.session
nodisplay --replay "$WORK/hand/hand.session" --record "$golden" --export "$WORK/solid.obj" \
  --quiet >"$WORK/out" 2>&1 || fail "re-recording failed: $(cat "$WORK/out")"
for line in 'scene mesh.file [0-9a-f]{16} \.\./meshes/table\.obj' \
  '10 mesh [0-9a-f]{16} \.\./meshes/gem\.obj' '20 set mesh\.scale 2' '30 mesh none' \
  '40 mesh [0-9a-f]{16} \.\./meshes/table\.obj'; do
  grep -qxE "$line" "$golden" || fail "no line '$line' in: $(grep mesh "$golden")"
done
[[ $(grep -oE '^scene mesh.file [0-9a-f]+' "$golden" | cut -d' ' -f3) == \
  $(grep -oE '^40 mesh [0-9a-f]+' "$golden" | cut -d' ' -f3) ]] || fail "one table, two digests"
faces=$(awk '$1 == "o" { solid = $2 == "solid" } solid && $1 == "f" { n++ } END { print n }' \
  "$WORK/solid.obj")
((faces == 60)) || fail "the export's solid has $faces faces, not the table's 60"
checks=$(grep -c -E '^[0-9]+ (check|end) [0-9a-f]{16}$' "$golden")
nodisplay --replay "$golden" --threads 2 --export "$WORK/again.obj" --quiet >"$WORK/out" 2>&1 ||
  fail "replay: $(cat "$WORK/out")"
[[ $(tail -n 1 "$WORK/out") == "vellumry: $golden: $checks checksums matched, the whole session replayed at tick 60" ]] ||
  fail "replay said: $(cat "$WORK/out")"

sed -i 's/^v 0.5 0 0$/v 0.5 0 0.125/' "$WORK/meshes/gem.obj"
refused "$WORK/meshes/gem.obj has changed since the recording" --replay "$golden"
cp "$data/meshes/gem.obj" "$WORK/meshes/"
rm "$WORK/meshes/table.obj"
refused "$WORK/meshes/table.obj: no such file" --replay "$golden" --print-scene
nodisplay --replay "$data/sessions/drape.session" --export "$WORK/drape.obj" --quiet \
  >"$WORK/out" 2>&1 || fail "the version 3 drape session: $(cat "$WORK/out")"
! grep -q '^o solid' "$WORK/drape.obj" || fail "a solid in the drape session's export"
note "passed: a session with solids re-recorded and replayed; its changed and missing mesh refused"
