#include "image/image_tags.h"

namespace {

constexpr unsigned kVersionSkipSteps = 16;

}  // namespace

bool FindImageTag(const ImageBuffer& image, const uint8_t* keyword, size_t keywordLength, uint64_t* value) {
  if (image.Data == nullptr || keywordLength == 0 || image.Length < keywordLength) return false;
  const uint64_t last = image.Length - keywordLength;
  for (uint64_t offset = 0; offset <= last; offset++) {
    size_t k = 0;
    while (k < keywordLength && image.Data[offset + k] == keyword[k]) k++;
    if (k == keywordLength) {
      *value = offset + keywordLength;
      return true;
    }
  }
  return false;
}

uint64_t ImageSkipVersionPrefix(const ImageBuffer& image, uint64_t start) {
  uint64_t position = start;
  for (unsigned steps = 0; steps < kVersionSkipSteps && position < image.Length; steps++) {
    const uint8_t byte = image.Data[position++];
    if (byte != '1') continue;
    // A '1' takes the byte after it along, whether or not that is the '.'.
    if (position >= image.Length) break;
    if (image.Data[position++] == '.') break;
  }
  return position;
}

void ImageCopyTagValue(const ImageBuffer& image, uint64_t offset, uint8_t out[kNameBufferSize]) {
  for (unsigned i = 0; i < kNameBufferSize && offset + i < image.Length; i++) {
    out[i] = image.Data[offset + i];
    if (out[i] == '$') break;
  }
}
