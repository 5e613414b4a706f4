// Placeholder until the real code lands.
#include "ec/board_queries.h"
#include "app/option_state.h"

void ProbeFlashSize() { gOptionState.BlockCount = 1; }
bool CheckAcAdapter() { return true; }
void ShowEcProject(uint8_t buffer[kNameBufferSize]) { buffer[0] = 0; }
void ShowEcVersion(uint8_t buffer[kNameBufferSize]) { buffer[0] = 0; }
