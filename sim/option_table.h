// tarnwick-sim's options, one row per option: its name, the form of its value,
// its help text and what it sets. The parser and the help are made from these
// rows, so they cannot drift apart.
#pragma once

#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/ec_settings.h"

namespace sim {

enum class HelpSection { Machine, Ec, FirmwareFaults, Output };

// What the options set: the command line, and the EC's settings, which the
// parse finishes once the flash is known.
struct OptionTarget {
  SimCommandLine* Line;
  EcSetup Ec;
};

struct SimOption {
  std::string Name;  // "--ec-ports"
  const char* Arg;   // "N"; nullptr: the option takes no value
  HelpSection Section;
  std::string Help;
  // Applies the value (empty for an option without one); false with *why
  // (e.g. "needs 0..3") when the value is refused. nullptr for the rows of
  // the EC's settings, which EcApplySetting applies.
  bool (*Apply)(const std::string& value, OptionTarget* target, std::string* why);
  std::string (*MoreHelp)();  // lines under the option's help (the fault kinds), or nullptr
  const EcSettingRow* EcRow = nullptr;  // the EC setting --NAME stands for
};

const std::vector<SimOption>& SimOptions();

// The row named name, or nullptr.
const SimOption* FindSimOption(const std::string& name);

}  // namespace sim
