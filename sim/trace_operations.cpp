#include "sim/trace_operations.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "ec/ec_commands.h"

namespace sim {

namespace {

struct CommandKind {
  uint8_t Byte;
  const char* Name;
  int Params;  // parameter bytes that follow on the command port
};

// The flash loader's commands and the queries, on the selected command port.
constexpr CommandKind kCommands[] = {
    {EC_FLASH_CHIP_ERASE, "erase", 4},        {EC_FLASH_PROGRAM, "program", 4},
    {EC_FLASH_READ_BLOCK, "block read", 1},   {EC_FLASH_READ_ID, "ID", 0},
    {EC_FLASH_SECTOR_ERASE, "sector erase", 3}, {EC_FLASH_PROGRAM_BOOT, "boot kilobyte program", 0},
    {EC_FLASH_PREPARE, "enter flash mode", 1}, {EC_FLASH_QUERY_MODE, "mode query", 0},
    {EC_FLASH_EXIT_WATCHDOG, "leave flash mode", 1}, {EC_FLASH_EXIT, "leave flash mode", 0},
    {EC_QUERY_PROJECT, "project query", 0},   {EC_QUERY_VERSION, "version query", 0},
};

// The command (status) port of any port set.
bool IsCommandPort(uint16_t port) {
  for (const EcPortPair& set : kEcPortSets) {
    if (port == set.Command) return true;
  }
  return false;
}

bool IsProgramming(const TraceOperation& op) {
  return !op.Bytes.empty() && (op.Bytes[0] == EC_FLASH_PROGRAM || op.Bytes[0] == EC_FLASH_PROGRAM_BOOT);
}

}  // namespace

std::vector<TraceOperation> SplitIntoOperations(const std::vector<PortAccess>& trace) {
  std::vector<TraceOperation> ops;
  uint16_t commandPort = 0;  // where the last command went
  int params = 0;     // parameter bytes still due on that port
  int dataBytes = 0;  // bytes still due on the fixed data port (EC RAM, auto power-on)
  auto start = [&](size_t i, const char* name, uint8_t byte) {
    if (!ops.empty()) ops.back().End = i;
    ops.push_back(TraceOperation{name, i, i + 1, {byte}});
  };
  if (!trace.empty()) ops.push_back(TraceOperation{"before any command", 0, 0, {}});
  for (size_t i = 0; i < trace.size(); ++i) {
    const PortAccess& a = trace[i];
    bool fixedCommand = a.Port == EC_FIXED_COMMAND_PORT, fixedData = a.Port == EC_FIXED_DATA_PORT;
    if (!a.Write) {
      // reads belong to the operation in progress
    } else if (a.Port == commandPort && params > 0) {
      --params;
      ops.back().Bytes.push_back(a.Value);
    } else if (fixedCommand && (a.Value == EC_RAM_READ || a.Value == EC_RAM_WRITE)) {
      start(i, a.Value == EC_RAM_READ ? "EC RAM read" : "EC RAM write", a.Value);
      params = 0;
      dataBytes = a.Value == EC_RAM_READ ? 1 : 2;
    } else if (fixedCommand && a.Value == EC_POWER_OFF) {
      start(i, "power off", a.Value);
      params = dataBytes = 0;
    } else if (IsCommandPort(a.Port)) {
      const char* name = "other command";
      params = dataBytes = 0;
      commandPort = a.Port;
      for (const CommandKind& kind : kCommands) {
        if (kind.Byte == a.Value) {
          name = kind.Name;
          params = kind.Params;
        }
      }
      start(i, name, a.Value);
    } else if (fixedData && dataBytes > 0) {
      --dataBytes;
      ops.back().Bytes.push_back(a.Value);
    } else if (fixedData && a.Value == EC_AUTO_POWER_ON && !IsProgramming(ops.back())) {
      start(i, "auto power-on", a.Value);
      dataBytes = 2;  // 0x00 and the seconds
    }
    ops.back().End = i + 1;
  }
  if (!ops.empty() && ops.front().End == 0) ops.erase(ops.begin());  // the trace starts with a command
  return ops;
}

std::string AnnotatedTrace(const std::vector<PortAccess>& trace, const std::vector<TraceOperation>& operations) {
  std::string text;
  char line[64];
  for (const TraceOperation& op : operations) {
    text += "== " + op.Name;
    if (!op.Bytes.empty()) {
      text += " (";
      for (size_t k = 0; k < op.Bytes.size(); ++k) {
        std::snprintf(line, sizeof(line), k == 0 ? "%02X" : " %02X", op.Bytes[k]);
        text += line;
      }
      text += ")";
    }
    text += "\n";
    for (size_t i = op.First; i < op.End && i < trace.size();) {
      const PortAccess& a = trace[i];
      size_t run = 1;
      while (i + run < op.End && trace[i + run].Write == a.Write && trace[i + run].Port == a.Port &&
             trace[i + run].Value == a.Value) {
        ++run;
      }
      std::snprintf(line, sizeof(line), "%c %02X %02X", a.Write ? 'W' : 'R', a.Port & 0xFF, a.Value);
      text += line;
      if (run > 1) text += " \xC3\x97" + std::to_string(run);  // U+00D7 MULTIPLICATION SIGN
      text += "\n";
      i += run;
    }
  }
  return text;
}

std::string StatsText(const std::vector<PortAccess>& trace, const std::vector<TraceOperation>& operations,
                      uint64_t endUs) {
  struct Row {
    size_t Order, Count = 0;
    uint64_t Accesses = 0, StallUs = 0;
  };
  std::map<std::string, Row> rows;
  for (size_t k = 0; k < operations.size(); ++k) {
    const TraceOperation& op = operations[k];
    auto found = rows.find(op.Name);
    Row& row = found != rows.end() ? found->second : rows.emplace(op.Name, Row{rows.size()}).first->second;
    row.Count += op.Bytes.empty() ? 0 : 1;
    row.Accesses += op.End - op.First;
    uint64_t from = k == 0 ? 0 : trace[op.First].TimeUs;
    uint64_t to = k + 1 < operations.size() ? trace[operations[k + 1].First].TimeUs : endUs;
    row.StallUs += to >= from ? to - from : 0;
  }
  std::vector<std::pair<std::string, Row>> ordered(rows.begin(), rows.end());
  std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.second.Order < b.second.Order; });
  std::string text = "tarnwick-sim: port accesses by operation\n";
  char line[160];
  std::snprintf(line, sizeof(line), "  %-24s %8s %10s %14s\n", "operation", "commands", "accesses", "stall time us");
  text += line;
  Row total{0};
  for (const auto& entry : ordered) {
    const Row& r = entry.second;
    std::snprintf(line, sizeof(line), "  %-24s %8zu %10llu %14llu\n", entry.first.c_str(), r.Count,
                  static_cast<unsigned long long>(r.Accesses), static_cast<unsigned long long>(r.StallUs));
    text += line;
    total.Count += r.Count;
    total.Accesses += r.Accesses;
    total.StallUs += r.StallUs;
  }
  std::snprintf(line, sizeof(line), "  %-24s %8zu %10llu %14llu\n", "total", total.Count,
                static_cast<unsigned long long>(total.Accesses), static_cast<unsigned long long>(total.StallUs));
  text += line;
  uint64_t realUs = trace.size() + endUs;
  std::snprintf(line, sizeof(line),
                "tarnwick-sim: stall time %llu.%06llu s; on real hardware at 1 us per port access plus the stalls: "
                "%llu.%06llu s\n",
                static_cast<unsigned long long>(endUs / 1000000), static_cast<unsigned long long>(endUs % 1000000),
                static_cast<unsigned long long>(realUs / 1000000), static_cast<unsigned long long>(realUs % 1000000));
  text += line;
  return text;
}

}  // namespace sim
