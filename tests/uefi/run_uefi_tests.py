#!/usr/bin/python3
"""Runs tarnwick.efi and tarnwick-simec.efi in OVMF's UEFI shell (and the older EDK shell) under QEMU.

usage: run_uefi_tests.py BUILD_DIR [NAME-FILTER ...]
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
# The QEMU driver (qemu_shell.py) lives with scripts/qemu.sh, which uses it too.
sys.path.insert(1, os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts"))

import harness  # noqa: E402
import test_real_tool  # noqa: E402,F401  (registers its tests)
import test_simulated_ec  # noqa: E402,F401
import test_qemu_script  # noqa: E402,F401
import test_old_shell  # noqa: E402,F401

if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(harness.main(os.path.abspath(sys.argv[1]), sys.argv[2:]))
