#!/usr/bin/env bash
# Configures and builds the host build, the tools, the tests and the UEFI images.
#   bash scripts/build.sh [--target NAME ...] [DIR [CMAKE-OPTION ...]]
# DIR: the build directory (default build/); CMAKE-OPTION: passed to cmake, e.g.
# -DTARNWICK_SANITIZE=ON or -DTARNWICK_UEFI=OFF. --target NAME (repeatable) builds
# only that target, e.g. tarnwick_efi or tarnwick-image-static (default: all).
# Exit 0 built, 64 a bad command line, else cmake's or ninja's failure.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; }
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --help|-h) usage; exit 0 ;;
    --target)
      if [ $# -lt 2 ]; then echo "build.sh: --target needs a NAME" >&2; exit 64; fi
      targets+=("$2"); shift 2 ;;
    -*) echo "build.sh: unknown option $1 (bash scripts/build.sh --help)" >&2; exit 64 ;;
    *) break ;;
  esac
done
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ "$@" >/dev/null
ninja -C "$dir" "${targets[@]}"
