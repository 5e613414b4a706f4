// tarnwick-sim's options, one row per option: its name, the form of its value,
// its help text and what it sets. The parser and the help are made from these
// rows, so they cannot drift apart.
#pragma once

#include <string>
#include <vector>

#include "sim/command_line.h"

namespace sim {

enum class HelpSection { Machine, Ec, FirmwareFaults, Output };

// What the options set: the command line, and what the parse needs at its end.
struct OptionTarget {
  SimCommandLine* Line;
  std::string Project = "TESTPRJ";  // --ec-project: also the project of the default flash
  bool SizeReplyGiven = false;      // --ec-size-reply: otherwise it follows the flash size
};

struct SimOption {
  const char* Name;  // "--ec-ports"
  const char* Arg;   // "N"; nullptr: the option takes no value
  HelpSection Section;
  const char* Help;
  // Applies the value (empty for an option without one); false with *why
  // (e.g. "needs 0..3") when the value is refused.
  bool (*Apply)(const std::string& value, OptionTarget* target, std::string* why);
  std::string (*MoreHelp)();  // lines under the option's help (the fault kinds), or nullptr
};

const std::vector<SimOption>& SimOptions();

// The row named name, or nullptr.
const SimOption* FindSimOption(const std::string& name);

}  // namespace sim
