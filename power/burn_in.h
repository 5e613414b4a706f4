// The burn-in loop: script set-up and the run counter.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

// The run count of this burn-in run; 0 until BumpBurnInCounter sets it.
extern uint64_t gBurnInRunCount;

void CreateBurnInScripts(size_t argc, Char16** argv);
void BumpBurnInCounter();
