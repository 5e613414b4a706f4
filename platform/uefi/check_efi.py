#!/usr/bin/python3
"""Refuses an image that the firmware could not load as a self-contained EFI application.

Checks: PE32+ for x86-64, subsystem 10 (EFI application), no import table and
no delay-load imports (every routine the image calls must be inside it).
"""
import struct
import sys

IMAGE_FILE_MACHINE_AMD64 = 0x8664
PE32_PLUS_MAGIC = 0x20B
SUBSYSTEM_EFI_APPLICATION = 10
DIR_IMPORT = 1
DIR_DELAY_IMPORT = 13


def check(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ" or len(data) < 0x40:
        return "not an MZ/PE file"
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return "no PE signature"
    machine, = struct.unpack_from("<H", data, pe + 4)
    if machine != IMAGE_FILE_MACHINE_AMD64:
        return "machine 0x%04x is not x86-64" % machine
    opt = pe + 24
    magic, = struct.unpack_from("<H", data, opt)
    if magic != PE32_PLUS_MAGIC:
        return "optional header magic 0x%03x is not PE32+" % magic
    subsystem, = struct.unpack_from("<H", data, opt + 68)
    if subsystem != SUBSYSTEM_EFI_APPLICATION:
        return "subsystem %d is not 10 (EFI application)" % subsystem
    count, = struct.unpack_from("<I", data, opt + 108)
    for index, name in ((DIR_IMPORT, "imports"), (DIR_DELAY_IMPORT, "delay-load imports")):
        if index < count:
            rva, size = struct.unpack_from("<II", data, opt + 112 + 8 * index)
            if rva or size:
                return "the image has %s (the runtime must provide every routine)" % name
    return None


def main():
    if len(sys.argv) != 2:
        print("usage: check_efi.py IMAGE", file=sys.stderr)
        return 2
    problem = check(sys.argv[1])
    if problem:
        print("%s: %s" % (sys.argv[1], problem), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
