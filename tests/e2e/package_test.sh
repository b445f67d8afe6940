#!/usr/bin/env bash
# End-to-end check of the Debian package: build it from the build tree into a scratch directory,
# let lintian judge it, unpack it into a scratch root, check what it installs (the manual page,
# the AppStream metadata, the copyright file and the changelog among it), and run the unpacked
# program under a private X server: the window comes up, draws frames and prints the help text.
#
# Usage: package_test.sh BUILD_DIR BUILT_PROGRAM FRAME_PROBE
# FRAME_PROBE is tests/e2e/frame_probe.cpp built as a shared library, loaded with LD_PRELOAD to
# tell when the program has drawn a number of frames.
# Needs: cpack, dpkg-deb, dpkg-shlibdeps and dpkg-parsechangelog (dpkg-dev), file,
# desktop-file-validate (desktop-file-utils), lintian, appstreamcli (appstream), mandoc, Xvfb
# (xvfb), xdotool.
set -euo pipefail

if [[ $# -ne 3 ]]; then
  echo "usage: $0 BUILD_DIR BUILT_PROGRAM FRAME_PROBE" >&2
  exit 2
fi
build_dir=$1
built_program=$2
frame_probe=$3
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog file desktop-file-validate lintian \
  appstreamcli mandoc Xvfb xdotool strip; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vellumry-package-test.XXXXXX")
xvfb_pid=""
app_pid=""
cleanup() {
  if [[ -n $app_pid ]]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
  fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts Xvfb on the first free display (it writes the number to the given descriptor) and sets
# DISPLAY.
start_xvfb() {
  local number_file=$scratch/display
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" \
    >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local deadline=$((SECONDS + 10))
  # The number is written, followed by a newline, once the server accepts connections.
  while [[ $(wc -l <"$number_file") -lt 1 ]]; do
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$scratch/xvfb.log" >&2; fail "Xvfb exited"; }
    ((SECONDS <= deadline)) || fail "Xvfb gave no display number within 10 s"
    sleep 0.1
  done
  DISPLAY=:$(tr -d '[:space:]' <"$number_file")
  export DISPLAY
}

# Polls for a window with exactly this name; prints its id.
wait_for_window() {
  local name=$1 deadline=$((SECONDS + 20)) id
  while true; do
    id=$(xdotool search --name "^${name}\$" 2>/dev/null | head -n 1 || true)
    if [[ -n $id ]]; then
      echo "$id"
      return 0
    fi
    kill -0 "$app_pid" 2>/dev/null || return 1
    ((SECONDS <= deadline)) || return 1
    sleep 0.1
  done
}

[[ -f $frame_probe ]] || fail "no frame probe at $frame_probe"

# --- Build the package into the scratch directory, away from `make package`'s output. ---
# Under a group-writable umask, so a package whose modes follow the builder's umask shows up in
# lintian's verdict below.
(umask 0002 && cpack -G DEB -B "$scratch/out" --config "$build_dir/CPackConfig.cmake") \
  >"$scratch/cpack.log" 2>&1 ||
  {
    cat "$scratch/cpack.log" >&2
    fail "cpack failed"
  }
shopt -s nullglob
debs=("$scratch"/out/vellumry_*_*.deb)
shopt -u nullglob
[[ ${#debs[@]} -eq 1 ]] || fail "expected one vellumry_<version>_<arch>.deb, got: ${debs[*]:-none}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
version=$(dpkg-deb -f "$deb" Version)
[[ $(basename "$deb") == "vellumry_${version}_${arch}.deb" ]] ||
  fail "package file name $(basename "$deb") does not follow vellumry_<version>_<arch>.deb"
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "version '$version' is not the project's x.y.z"

[[ $(dpkg-deb -f "$deb" Package) == vellumry ]] || fail "package name is not vellumry"
[[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fail "no Maintainer field"
[[ -n $(dpkg-deb -f "$deb" Description) ]] || fail "no Description field"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libglu1 libglut libassimp; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib (shlibdeps not run?): $depends"
done
# OpenGL itself: the vendor-neutral dispatch libraries (libOpenGL and libGLX) or the legacy libGL,
# depending on which the build found.
[[ $depends == *libgl1* || ($depends == *libopengl0* && $depends == *libglx0*) ]] ||
  fail "Depends lacks the OpenGL libraries: $depends"

# --- Debian's own verdict: not a single tag at lintian's default level. ---
# --allow-root only silences lintian's complaint about being run as root, which tests often are.
lintian_status=0
lintian --allow-root "$deb" >"$scratch/lintian.log" 2>&1 || lintian_status=$?
if [[ $lintian_status -ne 0 || -s $scratch/lintian.log ]]; then
  cat "$scratch/lintian.log" >&2
  fail "lintian (status $lintian_status) has something to say about $(basename "$deb")"
fi

# --- Unpack and check the files. ---
root=$scratch/root
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/vellumry
desktop=$root/usr/share/applications/vellumry.desktop
svg=$root/usr/share/icons/hicolor/scalable/apps/vellumry.svg
png=$root/usr/share/icons/hicolor/48x48/apps/vellumry.png
manpage=$root/usr/share/man/man1/vellumry.1.gz
copyright=$root/usr/share/doc/vellumry/copyright
changelog=$root/usr/share/doc/vellumry/changelog.gz
shopt -s nullglob
metainfos=("$root"/usr/share/metainfo/*.metainfo.xml)
shopt -u nullglob
[[ ${#metainfos[@]} -eq 1 ]] ||
  fail "expected one AppStream metainfo file, got: ${metainfos[*]:-none}"
metainfo=${metainfos[0]}

# Exactly these files: nothing of the libraries, headers, tests or benchmarks.
expected=$(printf '%s\n' /usr/bin/vellumry /usr/share/applications/vellumry.desktop \
  /usr/share/icons/hicolor/48x48/apps/vellumry.png \
  /usr/share/icons/hicolor/scalable/apps/vellumry.svg \
  "/usr/share/metainfo/$(basename "$metainfo")" /usr/share/man/man1/vellumry.1.gz \
  /usr/share/doc/vellumry/copyright /usr/share/doc/vellumry/changelog.gz \
  /usr/share/vellumry/scenes/{breeze,canvas,curtain,drape,flag,heap,silk,tablecloth,tear}.toml \
  /usr/share/vellumry/meshes/table.obj /usr/share/vellumry/textures/flag.png | sort)
actual=$(cd "$root" && find . -type f | sed 's|^\.||' | sort)
[[ $actual == "$expected" ]] || fail "package holds unexpected files:"$'\n'"$actual"

[[ -x $program ]] || fail "usr/bin/vellumry is not executable"
# The packaged program is the one just built, stripped.
strip -o "$scratch/stripped" "$built_program"
cmp -s "$scratch/stripped" "$program" || fail "packaged program differs from the stripped build"

desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx 'Exec=vellumry' "$desktop" || fail "desktop entry does not run vellumry"
grep -qx 'Icon=vellumry' "$desktop" || fail "desktop entry does not name the vellumry icon"
file -b "$svg" | grep -q 'SVG' || fail "scalable icon is not an SVG: $(file -b "$svg")"
file -b "$png" | grep -q 'PNG image data, 48 x 48' || fail "48x48 icon is wrong: $(file -b "$png")"

# The manual page: clean for mandoc's linter, and of this version.
gzip -dc "$manpage" >"$scratch/vellumry.1" || fail "manual page is not gzip data"
mandoc -T lint -W all "$scratch/vellumry.1" >"$scratch/mandoc.log" 2>&1 || true
[[ ! -s $scratch/mandoc.log ]] || {
  cat "$scratch/mandoc.log" >&2
  fail "mandoc -T lint complains"
}
grep -q "^\.TH VELLUMRY 1 .*\"vellumry $version\"" "$scratch/vellumry.1" ||
  fail "manual page is not titled for vellumry $version: $(grep '^\.TH' "$scratch/vellumry.1")"

# The AppStream metadata: valid without a warning (appstreamcli fails on those too), named after
# its id, pointing at the packaged desktop entry, and releasing this version.
appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 ||
  { cat "$scratch/appstream.log" >&2; fail "appstreamcli rejects $(basename "$metainfo")"; }
id=$(sed -n 's|^ *<id>\(.*\)</id>$|\1|p' "$metainfo")
[[ $(basename "$metainfo") == "$id.metainfo.xml" ]] ||
  fail "metainfo file is not named after its id '$id'"
launchable=$(sed -n 's|^ *<launchable type="desktop-id">\(.*\)</launchable>$|\1|p' "$metainfo")
[[ -n $launchable && -f $root/usr/share/applications/$launchable ]] ||
  fail "metainfo launches '$launchable', which the package does not install"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" ||
  fail "metainfo has no release entry for $version"

# The copyright file: machine-readable, under the MIT (Expat) licence, whose text is LICENSE's.
[[ $(head -n 1 "$copyright") == \
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]] ||
  fail "copyright file is not machine-readable: $(head -n 1 "$copyright")"
sed -n '/^Files: \*$/,/^$/p' "$copyright" | grep -qx 'License: Expat' ||
  fail "copyright file does not put every file under the Expat (MIT) licence"
# The stand-alone licence paragraph, undone from the file's format (one space of indent, " ."
# for a blank line), is LICENSE from "Permission" on.
awk 'after_blank && $0 == "License: Expat" { inside = 1; next }
     inside && $0 == "" { inside = 0 }
     inside { print }
     { after_blank = ($0 == "") }' "$copyright" | sed 's/^ \.$//; s/^ //' \
  >"$scratch/licence.from-copyright"
sed -n '/^Permission/,$p' "$source_dir/LICENSE" >"$scratch/licence.from-source"
diff -u "$scratch/licence.from-source" "$scratch/licence.from-copyright" >&2 ||
  fail "the licence text in the copyright file differs from LICENSE"

# The changelog: Debian's format, this version on top.
gzip -dc "$changelog" >"$scratch/changelog" || fail "changelog.gz is not gzip data"
top=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version) ||
  fail "changelog is not in Debian's format"
[[ $top == "$version" ]] || fail "changelog's top entry is $top, the package is $version"

# --- Run the unpacked program: first with no display, then under a private X server. ---
answer=$(env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 "$program" --version) ||
  fail "the unpacked program's --version failed"
[[ $answer == "vellumry $version" ]] || fail "--version says '$answer', the package is $version"
# An installed scene finds the mesh installed beside it.
env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 "$program" --print-scene \
  --scene "$root/usr/share/vellumry/scenes/tablecloth.toml" | grep -qx "file = '$root/usr/share/vellumry/meshes/table.obj'" ||
  fail "the installed tablecloth scene does not find its table"
start_xvfb
probe_out=$scratch/probe
# A sanitized build accepts the preloaded probe only without the runtime's link-order check.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0:detect_leaks=0" \
  LIBGL_ALWAYS_SOFTWARE=1 LD_PRELOAD=$frame_probe VELLUMRY_PROBE_OUT=$probe_out \
  VELLUMRY_PROBE_MARKS=30 "$program" >"$scratch/stdout" 2>"$scratch/stderr" &
app_pid=$!
window=$(wait_for_window Vellumry) || {
  cat "$scratch/stderr" >&2
  fail "no window titled Vellumry within 20 s"
}
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')
[[ $geometry == 500x500 ]] || fail "window is $geometry, not 500x500"

# It draws 30 frames, and is still alive after them.
deadline=$((SECONDS + 60))
until grep -q '^frame 30 ' "$probe_out" 2>/dev/null; do
  kill -0 "$app_pid" 2>/dev/null || {
    cat "$scratch/stderr" >&2
    fail "the program died before drawing 30 frames"
  }
  ((SECONDS <= deadline)) || fail "the program did not draw 30 frames within 60 s"
  sleep 0.05
done
kill -0 "$app_pid" 2>/dev/null || {
  cat "$scratch/stderr" >&2
  fail "the program died after drawing 30 frames"
}

[[ $(head -n 1 "$scratch/stdout") == Vellumry ]] ||
  fail "help text's first line is not 'Vellumry': $(head -n 1 "$scratch/stdout")"
grep -q 'Right click' "$scratch/stdout" || fail "help text lacks the menu instructions"

echo "PASS: $(basename "$deb") builds, unpacks and runs"
