// Rewriting the image's autoload bytes before programming.
#pragma once

#include <stdint.h>

#include "image/image_buffer.h"

enum class AutoloadMode : uint8_t { None = 0, Disable = 1, On = 2, Off = 3 };

// Rewrites the two autoload bytes of the image's first whole signature as
// mode asks, with the values for blockCount (1 or 2 blocks: the small-part
// values), and says so on the console. None, or no signature: nothing changes.
void PatchAutoload(ImageBuffer& image, AutoloadMode mode, int8_t blockCount);
