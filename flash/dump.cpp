// Placeholder until the real code lands.
#include "flash/dump.h"

void DumpEcRom() {}
