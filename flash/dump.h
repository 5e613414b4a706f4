// Saving the whole EC flash to a dated file.
#pragma once

void DumpEcRom();
