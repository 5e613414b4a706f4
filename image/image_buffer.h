// The loaded image.
#pragma once

#include <stdint.h>

struct ImageBuffer {
  uint8_t* Data;    // pool memory; nullptr when nothing is held
  uint64_t Length;  // valid bytes in Data
};
