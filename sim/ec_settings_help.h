// The help lines of the EC's settings and fault kinds (sim/ec_settings.h), as
// tarnwick-sim --help shows them.
#pragma once

#include <string>

#include "sim/ec_settings.h"

namespace sim {

// The row's help with its range and default: "the port set ... (0..3; default 1)".
std::string EcSettingHelp(const EcSettingRow& row);

// One line per fault kind, indented under --ec-fault.
std::string EcFaultHelp();

// "stuck-zero:ADDR:MASK", "gettime": how a fault kind is written.
std::string FaultForm(const char* name, const char* arg);

}  // namespace sim
