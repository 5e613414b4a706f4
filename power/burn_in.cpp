// Placeholder until the real code lands.
#include "power/burn_in.h"

uint64_t gBurnInRunCount;
void CreateBurnInScripts(size_t, Char16**) {}
void BumpBurnInCounter() {}
