#!/usr/bin/env bash
# tarnwick.efi in OVMF's UEFI shell under QEMU in one command:
#   bash scripts/qemu.sh DIR                       DIR is FS0:, interactive on this terminal
#   bash scripts/qemu.sh --simec [EC options] DIR  the same with the simulated EC
#   bash scripts/qemu.sh --burn-in N A.BIN B.BIN   the burn-in loop rehearsed for N power cycles
#   ... --old-shell FILE                         boot FILE (an older UEFI shell) instead of OVMF's
# `bash scripts/qemu.sh --help` lists every option, the simulated EC's as
# tarnwick-sim has them. Installs what it needs and builds first (--no-build:
# use the build directory as it is; --help builds only when nothing is built).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
skip_build=0
help=0
previous=
for a in "$@"; do
  case "$a" in
    --no-build) skip_build=1 ;;
    --help|-h) help=1 ;;
  esac
  [ "$previous" = "--build" ] && build=$a
  previous=$a
done
# The help lists the simulated EC's options from the built simulator.
if [ "$help" -eq 1 ] && { [ "$skip_build" -eq 1 ] || [ -x "$build/tarnwick-sim" ]; }; then
  exec /usr/bin/python3 "$root/scripts/qemu_run.py" "$@"
fi
bash "$root/scripts/setup.sh"
if [ "$skip_build" -eq 0 ]; then
  bash "$root/scripts/build.sh" "$build" >/dev/null
fi
exec /usr/bin/python3 "$root/scripts/qemu_run.py" "$@"
