// Reading the flash back: blank check and verify.
#pragma once

#include <stdint.h>

#include "image/image_buffer.h"

[[nodiscard]] bool FlashBlankCheck(bool keepReserved);
// Compares length bytes; bytes past image.Length are expected as 0xFF.
[[nodiscard]] bool FlashVerify(const ImageBuffer& image, uint64_t length);
