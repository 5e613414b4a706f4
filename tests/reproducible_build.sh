#!/usr/bin/env bash
# Builds tarnwick.efi from two copies of the source tree at different paths
# and checks that both are byte for byte the same and that neither holds a
# build path. Run by ctest when tarnwick.efi is built:
#   bash tests/reproducible_build.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "${1:-$(dirname "$0")/..}" && pwd)
version=$(git -C "$source_dir" describe --always --dirty 2>/dev/null || echo unknown)
work=$(mktemp -d /tmp/tarnwick-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT

copies=("$work/a/tarnwick" "$work/second/copy/of/the/source")
for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  # The tracked and the new files, as a fresh clone with these changes would hold them.
  (cd "$source_dir" && git ls-files -co --exclude-standard -z | tar -cf - --null -T -) | tar -xf - -C "$copy"
  cmake -S "$copy" -B "$copy/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTARNWICK_UEFI=ON -DTARNWICK_VERSION="$version" >/dev/null
  ninja -C "$copy/build" tarnwick.efi >/dev/null
done

first="${copies[0]}/build/tarnwick.efi"
second="${copies[1]}/build/tarnwick.efi"
status=0
if cmp "$first" "$second"; then
  echo "reproducible: both copies give the same tarnwick.efi ($(stat -c %s "$first") bytes," \
       "sha256 $(sha256sum "$first" | cut -c1-16)...)"
else
  echo "NOT reproducible: the two builds of tarnwick.efi differ"
  status=1
fi
for copy in "${copies[@]}"; do
  if { strings -a "$copy/build/tarnwick.efi"; strings -a -e l "$copy/build/tarnwick.efi"; } | grep -F -q -e "$copy" -e "$work"; then
    echo "tarnwick.efi holds the build path $copy"
    status=1
  fi
done
if ! strings -a "$first" | grep -q -x "tarnwick version $version"; then
  echo "tarnwick.efi does not hold \"tarnwick version $version\""
  status=1
fi
exit "$status"
