#!/bin/sh
# Runs the real-shell tests against the images in BUILD_DIR. Installs nothing:
# needs qemu-system-x86, ovmf, mtools, python3-pexpect and python3-pyte.
set -eu
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [NAME-FILTER ...]" >&2
  exit 2
fi
here=$(dirname "$0")
for tool in qemu-system-x86_64 mformat mcopy mtype; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "run_uefi_tests: $tool is missing (install qemu-system-x86 ovmf mtools)" >&2
    exit 1
  fi
done
python=/usr/bin/python3
[ -x "$python" ] || python=python3
exec "$python" "$here/run_uefi_tests.py" "$@"
