#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (as root),
# skipping what is already there.
set -euo pipefail

packages=(cmake ninja-build g++ clang lld gnu-efi libgtest-dev libclang-rt-14-dev
          qemu-system-x86 ovmf mtools dosfstools python3-pexpect python3-pyte zip)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
