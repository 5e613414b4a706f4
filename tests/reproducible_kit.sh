#!/usr/bin/env bash
# Makes the release kit (scripts/package.sh, with an EC image and a stand-in
# UEFI shell) in two clones of the source at different paths and checks:
# every file of dist/ is byte for byte the same in both, the USB image holds
# what it should, the kit's tarnwick-image is static and runs, the checksums
# hold, and neither tarnwick.efi nor tarnwick-image holds a build path.
# Run by ctest (label release):
#   bash tests/reproducible_kit.sh SOURCE_DIR BUILD_DIR
# BUILD_DIR gives the inputs: its tarnwick-image makes the EC image and its
# tarnwick.efi stands in for the shell (any x86-64 UEFI application will do).
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/tarnwick-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build_dir/tarnwick-image" make "$work/EC.BIN" --project REPRO --seed 7
shell=$build_dir/tarnwick.efi
copies=("$work/a/tarnwick" "$work/second/copy/of/the/source")
for copy in "${copies[@]}"; do
  # A clone of the commit, with the changes of the working tree laid over it
  # (none in a clean checkout), as a fresh clone with these changes holds it.
  git clone -q --no-checkout "$source_dir" "$copy"
  git -C "$copy" checkout -q "$(git -C "$source_dir" rev-parse HEAD)"
  (cd "$source_dir" && git ls-files -co --exclude-standard -z | tar -cf - --null --ignore-failed-read -T - 2>/dev/null) |
    tar -xf - -C "$copy"
  (cd "$source_dir" && git ls-files -d -z) | (cd "$copy" && xargs -0 -r rm -f)
  (cd "$copy" && bash scripts/package.sh --shell "$shell" "$work/EC.BIN" >"$copy.log" 2>&1) ||
    { echo "package.sh failed in $copy:"; cat "$copy.log"; exit 1; }
done

first=${copies[0]}
second=${copies[1]}
status=0
fail() { echo "$*"; status=1; }
version=$("$first/dist/"tarnwick-*/tarnwick-image --version | cut -d' ' -f2)
kit=$first/dist/tarnwick-$version

if diff -r "$first/dist" "$second/dist" >"$work/diff" 2>&1; then
  echo "reproducible: both clones give the same dist/ ($(cd "$first/dist" && find . -type f | wc -l) files," \
       "zip $(stat -c %s "$first/dist/tarnwick-$version.zip") bytes," \
       "sha256 $(sha256sum "$first/dist/tarnwick-$version.zip" | cut -c1-16)...)"
else
  fail "NOT reproducible: the two kits differ:"
  cat "$work/diff"
fi
(cd "$kit" && sha256sum --quiet -c SHA256SUMS) || fail "the kit's SHA256SUMS does not hold"
(cd "$first/dist" && sha256sum --quiet -c SHA256SUMS) || fail "dist/SHA256SUMS does not hold"
grep -q " tarnwick-$version.zip\$" "$first/dist/SHA256SUMS" || fail "dist/SHA256SUMS does not cover the zip"

usb=$kit/tarnwick-$version-usb.img
mtype -i "$usb" ::/EFI/BOOT/BOOTX64.EFI | cmp -s - "$shell" || fail "\\EFI\\BOOT\\BOOTX64.EFI is not the --shell FILE"
mtype -i "$usb" ::/EC/EC.BIN | cmp -s - "$work/EC.BIN" || fail "\\EC\\EC.BIN is not the image"
mtype -i "$usb" ::/EC/tarnwick.efi | cmp -s - "$kit/tarnwick.efi" || fail "\\EC\\tarnwick.efi is not the kit's"

image=$kit/tarnwick-image
if readelf -l "$image" | grep -q INTERP || readelf -d "$image" | grep -q NEEDED; then
  fail "the kit's tarnwick-image is not statically linked"
fi
[ "$("$image" --version)" = "tarnwick-image $version" ] || fail "the kit's tarnwick-image does not run"
strings -a "$kit/tarnwick.efi" | grep -q -x "tarnwick version $version" ||
  fail "tarnwick.efi does not hold \"tarnwick version $version\""
for copy in "${copies[@]}"; do
  for file in "$copy/dist/tarnwick-$version/tarnwick.efi" "$copy/dist/tarnwick-$version/tarnwick-image"; do
    if { strings -a "$file"; strings -a -e l "$file"; } | grep -F -q -e "$copy" -e "$work"; then
      fail "$file holds the build path $copy"
    fi
  done
done
exit "$status"
