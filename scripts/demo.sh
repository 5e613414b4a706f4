#!/usr/bin/env bash
# The main job on the simulated machine: flash a sample image into the
# simulated EC and show the console as a user would see it. On a terminal
# the run is drawn live in colour; otherwise the final screen is printed.
# A second run then shows the EC reporting the version it was flashed with.
# The sample volume stays in build/demo/ to try more by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build >/dev/null

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/fs0/EC"
build/tarnwick-image make "$demo/fs0/EC/EC.BIN" --size 196608 --project TESTPRJ --version 1.19.02.03 --date 2026/12/01
build/tarnwick-image make "$demo/flash.bin" --size 196608 --project TESTPRJ --version 1.19.01.11 --date 2026/06/01

sim=(build/tarnwick-sim --volume "$demo/fs0" --cwd 'FS0:\EC' --ec-flash "$demo/flash.bin")
echo "\$ tarnwick EC.BIN /p        (current directory FS0:\\EC, simulated EC with an older image)"
status=0
if [ -t 1 ]; then
  # Drawn live with the firmware's colours; Stall waits for real.
  "${sim[@]}" --realtime --screen "$demo/screen.txt" -- EC.BIN /p || status=$?
else
  "${sim[@]}" --screen "$demo/screen.txt" --plain -- EC.BIN /p >"$demo/console.txt" </dev/null || status=$?
  echo "---- the console as the user sees it at the end (100x31) ----"
  cat "$demo/screen.txt"
fi
if cmp -s "$demo/flash.bin" "$demo/fs0/EC/EC.BIN"; then
  echo "---- the simulated EC flash now equals EC.BIN ----"
else
  echo "---- the simulated EC flash differs from EC.BIN ----"
  build/tarnwick-image compare "$demo/flash.bin" "$demo/fs0/EC/EC.BIN" || true
  status=1
fi
# The EC runs what it was flashed with: the next run shows the new version.
echo "\$ tarnwick EC.BIN /p        (a second run: the EC now reports the version it was flashed with)"
build/tarnwick-sim "${sim[@]:1}" --plain -- EC.BIN /p </dev/null 2>/dev/null | grep -E '^(M/B  |File )EC Version' || status=1
cat <<EOT
The sample volume stays in $demo/ (FS0: is $demo/fs0, the EC flash is $demo/flash.bin). Try:
  build/tarnwick-sim --volume $demo/fs0 --cwd 'FS0:\\EC' --ec-flash $demo/flash.bin -- EC.BIN /p
  build/tarnwick-sim --volume $demo/fs0 --cwd 'FS0:\\EC' --ec-flash $demo/flash.bin -- EC.BIN /r
  build/tarnwick-image info $demo/fs0/EC/EC.BIN
  build/tarnwick-sim --help        (every machine option)
EOT
exit "$status"
