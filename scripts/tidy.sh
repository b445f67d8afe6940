#!/usr/bin/env bash
# Runs clang-tidy, with the repository's .clang-tidy, on every .cpp file under src/ against the
# compile_commands.json of a configured build directory. Exits non-zero on any finding.
#
# Usage: scripts/tidy.sh BUILD_DIR    (CLANG_TIDY=... picks another clang-tidy binary)
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$(cd "$1" && pwd)
tidy=${CLANG_TIDY:-clang-tidy}

command -v "$tidy" >/dev/null 2>&1 || {
  echo "tidy.sh: $tidy not found (apt-get install clang-tidy)" >&2
  exit 2
}
[[ -f $build_dir/compile_commands.json ]] || {
  echo "tidy.sh: no compile_commands.json in $build_dir; configure it with CMake first" >&2
  exit 2
}

mapfile -t sources < <(find "$repo/src" -name '*.cpp' | sort)
[[ ${#sources[@]} -gt 0 ]] || {
  echo "tidy.sh: no sources under $repo/src" >&2
  exit 2
}

# Two at a time; clang-tidy exits non-zero on any finding (WarningsAsErrors), and so does xargs.
if printf '%s\0' "${sources[@]}" |
  xargs -0 -n 1 -P 2 "$tidy" --quiet -p "$build_dir" 2>&1 |
  { grep -v -E '^[0-9]+ warnings? generated\.$' || true; }; then
  echo "clang-tidy: ${#sources[@]} files clean"
else
  echo "clang-tidy: findings above" >&2
  exit 1
fi
