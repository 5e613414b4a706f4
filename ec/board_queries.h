// What the main sequence asks the EC before any flash work.
#pragma once

#include <stdint.h>

#include "platform/name_text.h"

// Size probe through the EC RAM mailbox; sets the board's block counts.
void ProbeFlashSize();
// True when the AC adapter is present (the second reading of 0x10 decides).
[[nodiscard]] bool CheckAcAdapter();
// Query the EC's project name / version into buffer and print its line.
void ShowEcProject(uint8_t buffer[kNameBufferSize]);
void ShowEcVersion(uint8_t buffer[kNameBufferSize]);
