#!/usr/bin/env bash
# Every test: the host suite (plain and under ASan+UBSan), then tarnwick.efi
# and the simulated-EC build in OVMF's UEFI shell under QEMU.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== includes run downward =="
bash scripts/check_layers.sh

echo "== host build and tests =="
bash scripts/build.sh build
ctest --test-dir build --output-on-failure

echo "== host tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
bash scripts/build.sh build-asan -DTARNWICK_SANITIZE=ON -DTARNWICK_UEFI=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure

if [ -x tests/uefi/run_uefi_tests.sh ] || [ -f tests/uefi/run_uefi_tests.sh ]; then
  echo "== tarnwick.efi in the UEFI shell of OVMF =="
  bash tests/uefi/run_uefi_tests.sh build
fi
