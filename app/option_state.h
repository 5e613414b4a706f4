// The user's choices for the run, from the command line. What the run learns
// about the EC lives in ec/board.h.
#pragma once

#include <stdint.h>

#include "image/autoload.h"
#include "power/post_flash.h"

// Zeroed as a whole at the start of every run. Flags hold 0 or 1.
struct OptionState {
  PostFlashAction PostAction;
  uint8_t VproSystem;
  AutoloadMode Autoload;
  uint8_t DumpRom;
  uint8_t DelaySeconds;   // 0 to 9
  uint8_t ForceUpdate;
  uint8_t BurnInSetup;
  uint8_t BurnInCount;
  uint8_t KeepReserved;
  uint8_t SkipAcCheck;
  uint8_t EraseOnly;
  uint32_t EraseSector;   // 0: the whole flash; N: the N-th 1 KB sector, from 1
  uint8_t SectorEraseMode;  // /l: erase by sectors (the EC's mode reply may also ask for it)
};

extern OptionState gOptionState;

// Zeroes the whole record.
void ResetOptionState();
