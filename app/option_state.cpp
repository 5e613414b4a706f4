#include "app/option_state.h"

#include "platform/text.h"

OptionState gOptionState;

void ResetOptionState() { MemSet(&gOptionState, 0, sizeof(gOptionState)); }
