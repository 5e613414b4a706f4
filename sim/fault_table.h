// The faults --ec-fault and --fault can set, one row per kind: its name, the
// form of its argument, its help line and what it sets. The parsers and the
// help are made from these rows.
#pragma once

#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

// An EC fault: "kind" or "kind:A[:B]", split at every ':'.
struct EcFaultKind {
  const char* Name;  // "stuck-zero"
  const char* Arg;   // "ADDR:MASK" (one field per ':'-separated word); nullptr: none
  const char* Help;
  // Sets the fault from the fields after the name; false when one is out of
  // range (*why may then say more than the expected form).
  bool (*Apply)(const std::vector<std::string>& fields, EcConfig* ec, std::string* why);
};

// A firmware fault: "kind" or "kind:ARG", split at the first ':'.
struct FirmwareFaultKind {
  const char* Name;  // "read-short"
  const char* Arg;   // "N"; nullptr: none
  const char* Help;
  bool (*Apply)(const std::string& arg, Faults* faults);  // false: arg out of range
};

const std::vector<EcFaultKind>& EcFaultKinds();
const std::vector<FirmwareFaultKind>& FirmwareFaultKinds();

// One --ec-fault or --fault value; false with *why naming what was expected.
bool ParseEcFault(const std::string& request, EcConfig* ec, std::string* why);
bool ParseFirmwareFault(const std::string& request, Faults* faults, std::string* why);

// The help lines for the kinds, one per kind.
std::string EcFaultHelp();
std::string FirmwareFaultHelp();

// "stuck-zero:ADDR:MASK", "gettime": how a kind is written.
std::string FaultForm(const char* name, const char* arg);

}  // namespace sim
