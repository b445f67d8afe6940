#!/usr/bin/env bash
# Installs, from Debian's packages, whatever this machine lacks to build, run and test Vellumry.
set -euo pipefail

packages=(
  # build
  g++ clang cmake make pkg-config
  libgl-dev libglu1-mesa-dev libglut-dev
  libgtest-dev libbenchmark-dev libcli11-dev
  # the scene: scene files and the live panel
  libtomlplusplus-dev libimgui-dev libstb-dev
  # output: videos, animated pictures
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libwebp-dev
  # headless rendering: EGL without a display, and PNG output
  libegl-dev libegl-mesa0 libpng-dev
  # solids read from mesh files
  libassimp-dev
  # run: Mesa's GL, including the software renderer
  libgl1-mesa-dri libglx-mesa0
  # end-to-end tests: a virtual display, synthetic input, window facts and screenshots
  xvfb xdotool x11-utils imagemagick openbox
  # packaging and its checks
  dpkg-dev binutils file desktop-file-utils lintian appstream mandoc
  # reading videos and animated pictures back in the tests
  ffmpeg webp
  # fuzzing the session parser (clang's libFuzzer runtime)
  libclang-rt-14-dev
  # static analysis
  clang-tidy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
