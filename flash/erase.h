// Erase operations (the EC is in flash mode).
#pragma once

#include <stdint.h>

bool FlashChipErase();
bool FlashSectorEraseAll();
bool FlashEraseKeepReserved();
void FlashEraseOneSector(uint32_t sector);
