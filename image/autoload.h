// Rewriting the image's autoload bytes before programming.
#pragma once

#include <stdint.h>

#include "image/image_buffer.h"

enum class AutoloadMode : uint8_t { None = 0, Disable = 1, On = 2, Off = 3 };

// Rewrites the two autoload bytes of the image's first whole signature as
// mode asks, with the values for blockCount (1 or 2 blocks: the small-part
// values), and says so on the console. None, or no signature: nothing changes.
void PatchAutoload(ImageBuffer& image, AutoloadMode mode, int8_t blockCount);

// The value bytes' places in the signature block.
constexpr uint64_t kAutoloadFirstByte = 2;
constexpr uint64_t kAutoloadSecondByte = 8;

// Offset of the first signature block that lies wholly inside the bytes, or
// length when there is none: the block PatchAutoload rewrites.
[[nodiscard]] uint64_t FindAutoloadSignature(const uint8_t* data, uint64_t length);

// The bytes PatchAutoload writes at +2 and +8 for mode and blockCount.
// False for None (nothing is written).
[[nodiscard]] bool AutoloadValues(AutoloadMode mode, int8_t blockCount, uint8_t* first, uint8_t* second);
