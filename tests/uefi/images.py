"""EC ROM images for the real-shell tests: deterministic bytes with identity tags and an autoload block."""
import random

AUTOLOAD_OFFSET = 0x100
TAG_OFFSET = 0x200
GSENSOR_START = 194560  # /g programs and verifies this many bytes; the rest of the flash is kept


def make_image(seed, size=196608, project=b"TESTPRJ", version=b"1.19.01.11", date=b"2026/12/07",
               autoload=True):
    """Pseudo-random bytes (never 0xA5, so the only autoload signature is ours) with tags."""
    rng = random.Random(seed)
    data = bytearray(rng.randrange(0, 256) for _ in range(size))
    for i, b in enumerate(data):
        if b in (0xA5, 0x24):
            data[i] = b - 1
    if autoload:
        data[AUTOLOAD_OFFSET:AUTOLOAD_OFFSET + 9] = bytes([0xA5, 0xA5, 0x11, 0x22, 0x33, 0x5A, 0x44, 0x55, 0x66])
    tags = b""
    if project is not None:
        tags += b"PRJ:" + project + b"$"
    if version is not None:
        tags += b"VER:" + version + b"$"
    if date is not None:
        tags += b"DATE:" + date + b"$"
    data[TAG_OFFSET:TAG_OFFSET + len(tags)] = tags
    return bytes(data)


def autoload_disabled(image, block_count):
    """The image as /ad leaves it in memory before programming."""
    patched = bytearray(image)
    patched[AUTOLOAD_OFFSET + 2] = 0x94 if block_count in (1, 2) else 0x85
    patched[AUTOLOAD_OFFSET + 8] = 0x00
    return bytes(patched)


def checksum(image):
    return "%04X" % (sum(image) & 0xFFFF)
