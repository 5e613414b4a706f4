// The firmware faults --fault can set, one row per kind: its name, the form
// of its argument, its help line and what it sets. The parser and the help
// are made from these rows. (The EC's faults are rows of sim/ec_settings.h.)
#pragma once

#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

// A firmware fault: "kind" or "kind:ARG", split at the first ':'.
struct FirmwareFaultKind {
  const char* Name;  // "read-short"
  const char* Arg;   // "N"; nullptr: none
  const char* Help;
  bool (*Apply)(const std::string& arg, Faults* faults);  // false: arg out of range
};

const std::vector<FirmwareFaultKind>& FirmwareFaultKinds();

// One --fault value; false with *why naming what was expected.
bool ParseFirmwareFault(const std::string& request, Faults* faults, std::string* why);

// The help lines for the kinds, one per kind.
std::string FirmwareFaultHelp();

}  // namespace sim
