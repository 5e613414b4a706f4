// The burn-in loop: script set-up and the run counter.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

// The run count of this burn-in run; 0 until BumpBurnInCounter sets it.
extern uint64_t gBurnInRunCount;

// The counter file, on the first volume; the set-up resets it, each run bumps it.
inline constexpr Char16 kBurnInCounterPath[] = u"\\EFI\\BOOT\\FlashTimes.TXT";

void CreateBurnInScripts(size_t argc, Char16** argv);
void BumpBurnInCounter();
