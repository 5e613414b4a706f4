#include "sim/ec_settings_help.h"

#include <cstdio>

#include "sim/help_format.h"

namespace sim {

std::string EcSettingHelp(const EcSettingRow& row) {
  std::string range;
  char number[32];
  switch (row.Kind) {
    case EcValueKind::Number:
      std::snprintf(number, sizeof number, row.Max == 0xFF ? "0..0x%llX" : "0..%llu",
                    static_cast<unsigned long long>(row.Max));
      range = number;
      break;
    case EcValueKind::Text:
      range = "at most " + std::to_string(row.Max) + " characters";
      break;
    case EcValueKind::Bytes:
      range = "at most " + std::to_string(row.Max) + " bytes";
      break;
    case EcValueKind::Switch:
    case EcValueKind::Fault:
      break;
  }
  std::string more = range;
  if (row.Default != nullptr) more += (more.empty() ? "" : "; ") + std::string("default ") + row.Default;
  return more.empty() ? std::string(row.Help) : std::string(row.Help) + " (" + more + ")";
}

std::string EcFaultHelp() {
  std::string text;
  for (size_t i = 0; i < kEcFaultCount; ++i) {
    text += HelpEntry(FaultForm(kEcFaults[i].Name, kEcFaults[i].Args), kEcFaults[i].Help, 4, 30);
  }
  return text;
}

std::string FaultForm(const char* name, const char* arg) {
  return arg == nullptr ? std::string(name) : std::string(name) + ":" + arg;
}

}  // namespace sim
