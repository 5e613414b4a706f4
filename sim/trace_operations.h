// The port trace read as the EC sees it: split into operations by the command
// bytes on the EC's command ports, for `--stats` and `--trace-format annotated`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

// One operation: a command byte and everything up to the next command.
struct TraceOperation {
  std::string Name;            // "block read", "program", ...; "before any command" for the accesses before one
  size_t First = 0;            // index of its first access (the command write)
  size_t End = 0;              // one past its last access
  std::vector<uint8_t> Bytes;  // the command byte and its parameter bytes
};

// A command is a byte written to the command port of a port set (0x64, 0x66,
// 0x6C, 0x6E), its parameters the bytes that follow on the same port; the fixed
// ACPI ports 0x66/0x62 also carry the EC RAM and power commands.
std::vector<TraceOperation> SplitIntoOperations(const std::vector<PortAccess>& trace);

// The trace one access per line ("W 66 81"), each operation's start marked
// ("== block read (03 01)"), runs of identical accesses collapsed to one line
// ("R 66 02 ×100001").
std::string AnnotatedTrace(const std::vector<PortAccess>& trace, const std::vector<TraceOperation>& operations);

// Port accesses, commands and stall time per operation name, the totals, and
// the time the run would take on real hardware at 1 µs per port access plus
// the stalls. endUs: the virtual time at the end of the run (all stalls).
std::string StatsText(const std::vector<PortAccess>& trace, const std::vector<TraceOperation>& operations,
                      uint64_t endUs);

}  // namespace sim
