#include "sim/sample_image_bytes.h"

namespace sim {

namespace {

uint64_t SplitMix(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void PlaceTag(uint8_t* image, size_t size, size_t offset, const char* keyword, SampleTagValue value) {
  size_t keywordLength = 0;
  while (keyword[keywordLength] != 0) ++keywordLength;
  size_t valueLength = value.Length;
  if (valueLength > kSampleTagSlot - keywordLength - 1) valueLength = kSampleTagSlot - keywordLength - 1;
  size_t tagLength = keywordLength + valueLength + 1;
  if (offset + tagLength > size) return;
  uint8_t* at = image + offset;
  for (size_t i = 0; i < keywordLength; ++i) *at++ = static_cast<uint8_t>(keyword[i]);
  for (size_t i = 0; i < valueLength; ++i) *at++ = static_cast<uint8_t>(value.Chars[i]);
  *at = '$';
}

}  // namespace

void WriteSampleImage(uint8_t* image, size_t size, SampleTagValue project, SampleTagValue version,
                      SampleTagValue date, uint32_t seed) {
  uint64_t state = seed;
  for (size_t i = 0; i < size; i += 8) {
    uint64_t word = SplitMix(&state);
    for (size_t k = 0; k < 8 && i + k < size; ++k) {
      uint8_t b = static_cast<uint8_t>(word >> (8 * k));
      if (b == ':') b = ';';
      if (b == 0xA5) b = 0xA4;
      image[i + k] = b;
    }
  }
  if (kSampleAutoloadOffset + 9 <= size) {
    bool large = size > 2 * 65536;
    const uint8_t signature[9] = {0xA5, 0xA5, static_cast<uint8_t>(large ? 0x85 : 0x94), 0x11, 0x22, 0x5A, 0x33, 0x44,
                                  static_cast<uint8_t>(large ? 0xBE : 0x7F)};
    for (size_t i = 0; i < 9; ++i) image[kSampleAutoloadOffset + i] = signature[i];
  }
  PlaceTag(image, size, kSampleProjectOffset, "PRJ:", project);
  PlaceTag(image, size, kSampleVersionOffset, "VER:", version);
  PlaceTag(image, size, kSampleDateOffset, "DATE:", date);
}

}  // namespace sim
