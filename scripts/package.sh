#!/usr/bin/env bash
# Builds and writes the release kit:
#   dist/tarnwick-<version>/tarnwick.efi
#   dist/tarnwick-<version>/docs/field-guide.md
#   dist/tarnwick-<version>/tarnwick-<version>-usb.img   a FAT image: \EC\tarnwick.efi and the IMAGES
#   dist/tarnwick-<version>/SHA256SUMS                   over the three files above
#   dist/tarnwick-<version>.zip                          the folder
# <version> is `git describe --always --dirty` as stamped into tarnwick.efi.
#   bash scripts/package.sh [IMAGE ...]      (EC ROM images to put under \EC on the USB image)
# Exit 0 written, 64 an IMAGE that is not a file (nothing built or written), else a failed step.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; }
case "${1:-}" in --help|-h) usage; exit 0 ;; esac
total=0
for image in "$@"; do
  if [ ! -f "$image" ]; then
    echo "package.sh: image $image: no such file" >&2
    exit 64
  fi
  total=$((total + $(stat -c %s "$image")))
done
bash scripts/setup.sh
bash scripts/build.sh build >/dev/null

version=$(build/tarnwick-image --version | cut -d' ' -f2)
name=tarnwick-$version
out=dist/$name
usb=$out/$name-usb.img
rm -rf "$out" "dist/$name.zip"
mkdir -p "$out/docs"
cp build/tarnwick.efi "$out/tarnwick.efi"
cp docs/field-guide.md "$out/docs/field-guide.md"

# A FAT16 file system over the whole image (no partition table), as OVMF and
# most firmware mount a stick written with it; at least 32 MB.
megabytes=$((total / 1048576 * 2 + 32))
truncate -s "${megabytes}M" "$usb"
mformat -i "$usb" -T $((megabytes * 2048)) -h 64 -s 32 -v TARNWICK -N 7A3C0001 ::
mmd -i "$usb" ::/EC
mcopy -i "$usb" build/tarnwick.efi ::/EC/tarnwick.efi
for image in "$@"; do
  mcopy -o -i "$usb" "$image" "::/EC/$(basename "$image")"
  # What tarnwick would refuse or show oddly about it.
  build/tarnwick-image info "$image" | sed -n "s|^warning: |note: $(basename "$image"): |p"
done

(cd "$out" && sha256sum tarnwick.efi docs/field-guide.md "$name-usb.img" >SHA256SUMS)
(cd dist && zip -q -r -X "$name.zip" "$name")

echo "release $name"
(cd "$out" && find . -type f | sort | while read -r f; do printf '  %-36s %10s bytes\n' "${f#./}" "$(stat -c %s "$f")"; done)
printf '  %-36s %10s bytes\n' "../$name.zip" "$(stat -c %s "dist/$name.zip")"
echo "  on the USB image:"
mdir -/ -b -i "$usb" ::/EC | sed 's|^::|    |'
case "$version" in
  *-dirty) echo "note: built from a tree with uncommitted changes ($version)" ;;
esac
