// Programming the image into the EC flash.
#pragma once

#include <stdint.h>

#include "image/image_buffer.h"

// Program length bytes of the image (block span of length). Bytes at or past
// image.Length are sent as 0xFF: the buffer is never read past its end.
// Nothing is judged here: the verify that follows is the judge.
void FlashProgram(const ImageBuffer& image, uint64_t length);
// The same, with the first kilobyte written last (0x06).
void FlashProgramBootLast(const ImageBuffer& image, uint64_t length);
