#!/usr/bin/env bash
# Builds and writes the release kit:
#   dist/tarnwick-<version>/tarnwick.efi
#   dist/tarnwick-<version>/tarnwick-image             for Linux x86-64, statically linked
#   dist/tarnwick-<version>/docs/field-guide.md
#   dist/tarnwick-<version>/tarnwick-<version>-usb.img  a FAT image: \EC\tarnwick.efi, the IMAGEs
#                                                       under \EC, \EFI\BOOT (with --shell: its
#                                                       \EFI\BOOT\BOOTX64.EFI)
#   dist/tarnwick-<version>/SHA256SUMS                  over the files above
#   dist/tarnwick-<version>.zip                         the folder
#   dist/SHA256SUMS                                     over the zip and the folder's files
# <version> is `git describe --always --dirty` as stamped into tarnwick.efi. Every file and
# time stamp is the same for one commit: the time is the commit's (SOURCE_DATE_EPOCH if set).
#   bash scripts/package.sh [--shell FILE] [IMAGE ...]
# IMAGE: an EC ROM image for \EC; FILE: a UEFI shell (x86-64) for notebooks without one.
# Exit 0 written; 64 a bad command line, an IMAGE tarnwick would not flash (a folder, empty,
# over 256 KB), two IMAGEs of one FAT name (letter case aside) or a FILE that is no x86-64
# UEFI application; 74 an IMAGE or FILE that cannot be read (for 64 and 74 nothing is built
# or written); else the set-up or the build failed.
set -euo pipefail
export LC_ALL=C  # names are checked byte by byte; sort, mtools and zip behave alike everywhere
root=$(cd "$(dirname "$0")/.." && pwd)
usage() { sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; }
refuse() { echo "package.sh: $2" >&2; exit "$1"; }

shell=
images=()
while [ $# -gt 0 ]; do
  case "$1" in
    --help|-h) usage; exit 0 ;;
    --shell)
      [ $# -ge 2 ] || refuse 64 "--shell needs a FILE"
      [ -z "$shell" ] || refuse 64 "--shell is given twice"
      shell=$2; shift 2 ;;
    --) shift; images+=("$@"); break ;;
    -*) refuse 64 "unknown option $1 (bash scripts/package.sh --help)" ;;
    *) images+=("$1"); shift ;;
  esac
done

# A file to put on the stick: exit 74 when it cannot be read, 64 when it is no file.
check_readable() {
  [ -e "$2" ] || refuse 74 "$1 $2: no such file"
  [ ! -d "$2" ] || refuse 64 "$1 $2: a folder, not a file"
  [ -f "$2" ] || refuse 64 "$1 $2: not a regular file"
  [ -r "$2" ] || refuse 74 "$1 $2: cannot be read"
}

# Why FILE is no x86-64 UEFI application (PE32+, subsystem 10), or nothing.
efi_problem() {
  local pe
  [ "$(od -An -tx1 -N2 "$1" | tr -d ' ')" = 4d5a ] || { echo "no MZ header"; return; }
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -tx1 -j"$pe" -N4 "$1" | tr -d ' ')" = 50450000 ] || { echo "no PE header"; return; }
  [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" = 8664 ] || { echo "not for x86-64"; return; }
  [ "$(od -An -tx2 -j$((pe + 24)) -N2 "$1" | tr -d ' ')" = 020b ] || { echo "not PE32+"; return; }
  [ "$(od -An -tu2 -j$((pe + 92)) -N2 "$1" | tr -d ' ')" = 10 ] || echo "not an EFI application (subsystem 10)"
}

declare -A fat_names=([TARNWICK.EFI]="tarnwick.efi (the tool itself)")
for image in "${images[@]}"; do
  check_readable IMAGE "$image"
  size=$(stat -c %s "$image")
  [ "$size" -gt 0 ] || refuse 64 "IMAGE $image: empty; tarnwick flashes nothing from it"
  [ "$size" -le 262144 ] || refuse 64 "IMAGE $image: $size bytes, over 256 KB; tarnwick refuses it"
  base=$(basename "$image")
  case "$base" in
    *[\"*/:\<\>?\\\|]* | *[![:print:]]* | *. | *' ')
      refuse 64 "IMAGE $image: the name $base is no FAT file name in printable ASCII" ;;
  esac
  key=${base^^}
  [ -z "${fat_names[$key]:-}" ] || refuse 64 "IMAGE $image and ${fat_names[$key]} land on one FAT name \\EC\\$base"
  fat_names[$key]=$image
done
if [ -n "$shell" ]; then
  check_readable "--shell" "$shell"
  problem=$(efi_problem "$shell")
  [ -z "$problem" ] || refuse 64 "--shell $shell: $problem; the firmware would not start it"
fi

# The files as the caller named them, then from the tree's root.
absolute() { case "$1" in /*) printf '%s' "$1" ;; *) printf '%s' "$PWD/$1" ;; esac; }
for i in "${!images[@]}"; do images[$i]=$(absolute "${images[$i]}"); done
[ -z "$shell" ] || shell=$(absolute "$shell")
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh --target tarnwick_efi --target tarnwick-image-static build >/dev/null

version=$(build/static/tarnwick-image --version | cut -d' ' -f2)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
export SOURCE_DATE_EPOCH=$epoch TZ=UTC  # mtools and zip stamp with these
name=tarnwick-$version
out=dist/$name
usb=$out/$name-usb.img
rm -rf "$out" "dist/$name.zip" dist/SHA256SUMS
mkdir -p "$out/docs"
cp build/tarnwick.efi "$out/tarnwick.efi"
cp build/static/tarnwick-image "$out/tarnwick-image"
cp docs/field-guide.md "$out/docs/field-guide.md"

# A FAT16 file system over the whole image (no partition table), as OVMF and
# most firmware mount a stick written with it; at least 32 MB.
total=0
for file in "${images[@]}" ${shell:+"$shell"}; do total=$((total + $(stat -c %s "$file"))); done
megabytes=$((total / 1048576 * 2 + 32))
truncate -s "${megabytes}M" "$usb"
mformat -i "$usb" -T $((megabytes * 2048)) -h 64 -s 32 -v TARNWICK -N 7A3C0001 ::
mmd -i "$usb" ::/EC ::/EFI ::/EFI/BOOT
mcopy -i "$usb" build/tarnwick.efi ::/EC/tarnwick.efi
for image in "${images[@]}"; do
  mcopy -i "$usb" "$image" "::/EC/$(basename "$image")"
  # What tarnwick would refuse or show oddly about it.
  build/static/tarnwick-image info "$image" | while IFS= read -r line; do
    case "$line" in "warning: "*) echo "note: $(basename "$image"): ${line#warning: }" ;; esac
  done
done
[ -z "$shell" ] || mcopy -i "$usb" "$shell" ::/EFI/BOOT/BOOTX64.EFI

(cd "$out" && sha256sum tarnwick.efi tarnwick-image docs/field-guide.md "$name-usb.img" >SHA256SUMS)
# The same bytes for the same commit: fixed modes, the commit's time, a sorted list.
find "$out" -type d -exec chmod 755 {} +
find "$out" -type f -exec chmod 644 {} +
chmod 755 "$out/tarnwick-image"
find "$out" -exec touch -h -d "@$epoch" {} +
(cd dist && find "$name" -type f | sort | zip -q -X -D "$name.zip" -@)
touch -d "@$epoch" "dist/$name.zip"
(cd dist && sha256sum "$name.zip" $(find "$name" -type f | sort) >SHA256SUMS)

echo "release $name"
(cd "$out" && find . -type f | sort | while read -r f; do printf '  %-36s %10s bytes\n' "${f#./}" "$(stat -c %s "$f")"; done)
printf '  %-36s %10s bytes\n' "../$name.zip" "$(stat -c %s "dist/$name.zip")"
echo "  ../SHA256SUMS (cd dist && sha256sum -c SHA256SUMS)"
echo "  on the USB image:"
mdir -/ -b -i "$usb" :: | sed 's|^::|    |'
case "$version" in
  *-dirty) echo "note: built from a tree with uncommitted changes ($version)" ;;
esac
