// Placeholder until the real code lands.
#include "flash/flash_mode.h"

uint8_t gFlashModeReply;
void EnterFlashMode() {}
void QueryFlashMode() {}
void ShowFlashPartId(uint64_t) {}
void ExitFlashMode() {}
