// Key presses from the real keyboard for tarnwick-sim on a terminal, once the
// keys given with --keys are used up.
#pragma once

#include "platform/platform.h"

namespace sim {

// Waits for one key press on standard input (raw mode for the wait only).
// Enter gives CR, Escape and the arrows give their scan codes, other keys
// their character. False at end of input.
bool ReadTerminalKey(InputKey* key);

}  // namespace sim
