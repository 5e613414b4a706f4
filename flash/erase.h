// Erase operations (the EC is in flash mode).
#pragma once

#include <stdint.h>

[[nodiscard]] bool FlashChipErase();
[[nodiscard]] bool FlashSectorEraseAll();
[[nodiscard]] bool FlashEraseKeepReserved();
void FlashEraseOneSector(uint32_t sector);
