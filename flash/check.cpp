// Placeholder until the real code lands.
#include "flash/check.h"

bool FlashBlankCheck(bool) { return true; }
bool FlashVerify(const ImageBuffer&, uint64_t) { return true; }
void DrainEcOutput() {}
