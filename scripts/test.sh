#!/usr/bin/env bash
# Every test: the host suite (plain and under ASan+UBSan), then tarnwick.efi
# and the simulated-EC build in OVMF's UEFI shell under QEMU.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)

echo "== includes run downward =="
bash scripts/check_layers.sh

echo "== host build and tests =="
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$jobs" -LE uefi

echo "== host tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
bash scripts/build.sh build-asan -DTARNWICK_SANITIZE=ON -DTARNWICK_UEFI=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# One CTest test per real-shell test; at most two QEMU instances at a time.
echo "== tarnwick.efi in the UEFI shell of OVMF =="
ctest --test-dir build --output-on-failure -j 2 -L uefi
