#!/usr/bin/env bash
# Builds the libFuzzer targets (ASan+UBSan) into build-fuzz/ and runs each one
# for the given number of seconds (default 60) on a copy of the seed corpus
# that the build writes. Prints the executions per fuzzer and their rate
# (inputs per second, on one core) and any finding;
# crash inputs are kept in build-fuzz/fuzz/findings/<fuzzer>/ until the next
# run. Not part of the default tests.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTARNWICK_UEFI=OFF -DTARNWICK_FUZZ=ON >/dev/null || exit 1
ninja -C "$dir" fuzzers >/dev/null || { ninja -C "$dir" fuzzers; exit 1; }

fuzzers="fuzz_command_line fuzz_image_bytes fuzz_burn_in_counter fuzz_ec_replies fuzz_ec_update"
status=0
summary=""
for f in $fuzzers; do
  work="$dir/fuzz/work/$f"
  findings="$dir/fuzz/findings/$f"
  rm -rf "$work" "$findings"
  mkdir -p "$work" "$findings"
  cp "$dir/fuzz/corpus/$f/"* "$work/" 2>/dev/null || true
  log="$dir/fuzz/$f.log"
  echo "== $f: ${seconds}s =="
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/fuzz/$f" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" >"$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  crashes=$(ls "$findings" 2>/dev/null | wc -l)
  if [ "$rc" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    status=1
    grep -E 'BROKEN|ERROR: |SUMMARY|runtime error' "$log" | head -5
  fi
  line=$(printf '%-22s execs %-10s %6s/s  findings %s (exit %s)' "$f" "${execs:-?}" "${rate:-?}" "$crashes" "$rc")
  echo "$line"
  summary="$summary$line"$'\n'
done
echo "== summary =="
printf '%s' "$summary"
exit $status
