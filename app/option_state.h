// The one record of the run's choices and board settings.
#pragma once

#include <stdint.h>

#include "ec/ec_channel.h"

enum class PostFlashAction : uint8_t { Shutdown = 0, ColdBoot = 1, StayInShell = 2, WatchdogReset = 3 };
enum class AutoloadMode : uint8_t { None = 0, Disable = 1, On = 2, Off = 3 };

// Zeroed as a whole at the start of every run. Flags hold 0 or 1.
struct OptionState {
  PostFlashAction PostAction;
  uint8_t VproSystem;
  AutoloadMode Autoload;
  uint8_t DumpRom;
  uint8_t DelaySeconds;   // 0 to 9
  EcPortSet Ports;
  int8_t BlockCount;      // 64 KB blocks of EC flash, 1 to 4, after the ROM-size rule
  int8_t PartBlockCount;  // the part's own count (size probe or /f): a 192 or 256 KB part
                          // answers its chip erase and a fourth ID byte whatever the image
  uint8_t ForceUpdate;
  uint8_t BurnInSetup;
  uint8_t BurnInCount;
  uint8_t KeepReserved;
  uint8_t SkipAcCheck;
  uint8_t EraseOnly;
  uint32_t EraseSector;   // 0: the whole flash; N: the N-th 1 KB sector, from 1
  uint8_t SectorEraseMode;
};

extern OptionState gOptionState;

// Zeroes the whole record.
void ResetOptionState();
