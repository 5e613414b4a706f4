// Loading the image file from whichever volume holds it.
#pragma once

#include "image/image_buffer.h"
#include "platform/platform.h"

// On kEfiSuccess the image holds the bytes (Data may be nullptr with Length 0
// for an empty file); on failure nothing is handed over. A file larger than
// maxLength is not read at all: Data stays nullptr and Length holds its size.
[[nodiscard]] EfiStatus LoadImageFile(const Char16* path, uint64_t maxLength, ImageBuffer* image);
