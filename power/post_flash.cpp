// Placeholder until the real code lands.
#include "power/post_flash.h"
#include "flash/flash_mode.h"

void RunPostFlashAction() { ExitFlashMode(); }
