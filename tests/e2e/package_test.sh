#!/usr/bin/env bash
# End-to-end check of the Debian package: build it from the build tree into a scratch directory,
# unpack it into a scratch root, check what it installs, and run the unpacked program under a
# private X server: the window comes up and the help text is printed.
#
# Usage: package_test.sh BUILD_DIR BUILT_PROGRAM
# Needs: cpack, dpkg-deb, dpkg-shlibdeps (dpkg-dev), file, desktop-file-validate
# (desktop-file-utils), Xvfb (xvfb), xdotool.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_DIR BUILT_PROGRAM" >&2
  exit 2
fi
build_dir=$1
built_program=$2

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for tool in cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate Xvfb xdotool strip; do
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

# --- Build the package into the scratch directory, away from `make package`'s output. ---
cpack -G DEB -B "$scratch/out" --config "$build_dir/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1 ||
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
for lib in libc6 libstdc++6 libglu1 libglut; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib (shlibdeps not run?): $depends"
done
# OpenGL itself: the vendor-neutral dispatch libraries (libOpenGL and libGLX) or the legacy libGL,
# depending on which the build found.
[[ $depends == *libgl1* || ($depends == *libopengl0* && $depends == *libglx0*) ]] ||
  fail "Depends lacks the OpenGL libraries: $depends"

# --- Unpack and check the files. ---
root=$scratch/root
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/vellumry
desktop=$root/usr/share/applications/vellumry.desktop
svg=$root/usr/share/icons/hicolor/scalable/apps/vellumry.svg
png=$root/usr/share/icons/hicolor/48x48/apps/vellumry.png

# Exactly these files: nothing of the libraries, headers, tests or benchmarks.
expected=$(printf '%s\n' /usr/bin/vellumry /usr/share/applications/vellumry.desktop \
  /usr/share/icons/hicolor/48x48/apps/vellumry.png \
  /usr/share/icons/hicolor/scalable/apps/vellumry.svg | sort)
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

# --- Run the unpacked program under a private X server. ---
start_xvfb
LIBGL_ALWAYS_SOFTWARE=1 "$program" >"$scratch/stdout" 2>"$scratch/stderr" &
app_pid=$!
window=$(wait_for_window Vellumry) || {
  cat "$scratch/stderr" >&2
  fail "no window titled Vellumry within 20 s"
}
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')
[[ $geometry == 500x500 ]] || fail "window is $geometry, not 500x500"

# Let it run a few dozen frames; it must still be alive.
sleep 1
kill -0 "$app_pid" 2>/dev/null || {
  cat "$scratch/stderr" >&2
  fail "the program died while running"
}

[[ $(head -n 1 "$scratch/stdout") == Vellumry ]] ||
  fail "help text's first line is not 'Vellumry': $(head -n 1 "$scratch/stdout")"
grep -q 'Right click' "$scratch/stdout" || fail "help text lacks the menu instructions"

echo "PASS: $(basename "$deb") builds, unpacks and runs"
