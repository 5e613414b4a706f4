// tarnwick-sim's checks before anything runs: every volume is a directory and
// every file it will write (flash, trace, screen, log) can be written. Nothing
// is created, truncated or changed by the checks.
#pragma once

#include <string>

#include "sim/command_line.h"

namespace sim {

// 0 when the run may start; otherwise the exit status (74) and a message
// naming the file and the cause in *error.
int CheckBeforeRun(const SimCommandLine& line, std::string* error);

// Whether path could be written (an existing file opened for writing without
// truncation, or a new one's directory writable); false with the system's
// reason in *cause.
bool CanWriteFile(const std::string& path, std::string* cause);

}  // namespace sim
