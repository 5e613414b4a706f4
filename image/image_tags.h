// Finding the identity tags in an image and copying their values. Every scan
// stays inside the image's bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/name_text.h"
#include "image/image_buffer.h"

// The first offset at which the whole keyword stands in the image; *value is
// set to the offset right after it. False when it does not occur.
[[nodiscard]] bool FindImageTag(const ImageBuffer& image, const uint8_t* keyword, size_t keywordLength, uint64_t* value);

// From just after "VER:": skips up to 16 steps looking for "1." and returns
// the offset where the version value starts (never beyond the image's end).
uint64_t ImageSkipVersionPrefix(const ImageBuffer& image, uint64_t start);

// Copies the value at offset into out: up to and including the first '$', at
// most 16 bytes, and never past the image's last byte. Bytes not copied are
// left as they are.
void ImageCopyTagValue(const ImageBuffer& image, uint64_t offset, uint8_t out[kNameBufferSize]);
