// The file jobs (ROM dump, burn-in scripts, burn-in counter) all work on the
// first file-system volume the firmware offers and report failures alike.
#pragma once

#include "platform/platform.h"

// The error number the file jobs print in every message, whatever the status.
constexpr int kFileJobErrorNumber = 1;

// Opens the root directory of the first file-system volume. On failure it
// prints the job's message and returns nullptr; nothing is left open.
[[nodiscard]] FsFile* FsOpenFirstVolumeRoot();
