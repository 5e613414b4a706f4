// Loading the image file from whichever volume holds it.
#pragma once

#include "image/image_buffer.h"
#include "platform/platform.h"

// On kEfiSuccess the image holds the bytes (Data may be nullptr with Length 0
// for an empty file); on failure nothing is handed over.
[[nodiscard]] EfiStatus LoadImageFile(const Char16* path, ImageBuffer* image);
