#!/usr/bin/env bash
# The main job on the simulated machine: flash a sample image into the
# simulated EC and show the console as a user would see it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/fs0/EC"
build/tarnwick-mkimage "$work/fs0/EC/EC.BIN" --size 196608 --project TESTPRJ --version 1.19.02.03 --date 2026/12/01
build/tarnwick-mkimage "$work/flash.bin" --size 196608 --project TESTPRJ --version 1.19.01.11 --date 2026/06/01

echo "\$ tarnwick EC.BIN /p        (current directory FS0:\\EC, simulated EC with an older image)"
status=0
build/tarnwick-sim --volume "$work/fs0" --cwd 'FS0:\EC' --ec-flash "$work/flash.bin" \
  --screen "$work/screen.txt" --plain -- EC.BIN /p >"$work/console.txt" || status=$?
echo "---- the console as the user sees it at the end (100x31) ----"
cat "$work/screen.txt"
if cmp -s "$work/flash.bin" "$work/fs0/EC/EC.BIN"; then
  echo "---- the simulated EC flash now equals EC.BIN ----"
else
  echo "---- the simulated EC flash differs from EC.BIN ----"
  status=1
fi
exit "$status"
