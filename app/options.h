// The command line: slash options after the image name.
#pragma once

#include "platform/platform.h"

// Reads Argv[2] onward into gOptionState. True when the command line is
// accepted; false when it is rejected or the help list was printed.
[[nodiscard]] bool ParseOptions(size_t argc, Char16** argv);
