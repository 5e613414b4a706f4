// Sample EC ROM images: pseudo-random bytes that carry the identity tags and
// one autoload signature at fixed offsets. Freestanding, so that the
// firmware build of the simulated EC can make its default flash too
// (sample_image.h has the form tests and tools use).
//
// Layout (offsets from the start of the image):
//   0x40  the autoload signature, nine bytes:
//         A5 A5 m1 11 22 5A 33 44 m2, with m1 m2 the "autoload on" pair for
//         the image's size (94 7F up to 128 KB, 85 BE above)
//   0x80  "PRJ:<project>$"
//   0xA0  "VER:<version>$"
//   0xC0  "DATE:<date>$"
// Each tag has a 32-byte slot: a longer value is cut to fit (the '$' stays).
// A tag or the signature that does not fit in a small image is left out.
// The random fill never holds a ':' or 0xA5, so no keyword or signature
// turns up anywhere else by chance.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace sim {

constexpr size_t kSampleAutoloadOffset = 0x40;
constexpr size_t kSampleProjectOffset = 0x80;
constexpr size_t kSampleVersionOffset = 0xA0;
constexpr size_t kSampleDateOffset = 0xC0;
constexpr size_t kSampleTagSlot = 32;

// A tag's value: characters that need not end in NUL.
struct SampleTagValue {
  const char* Chars;
  size_t Length;
};

void WriteSampleImage(uint8_t* image, size_t size, SampleTagValue project, SampleTagValue version,
                      SampleTagValue date, uint32_t seed);

}  // namespace sim
