#!/usr/bin/env bash
# Configures and builds everything (host build, tools, tests, tarnwick.efi)
# into build/ (or the directory given as $1).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ "$@" >/dev/null
ninja -C "$dir"
