// Shared set-up and trace readers for the flash operation tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/option_state.h"
#include "ec/ec_channel.h"
#include "flash/flash_mode.h"
#include "image/image_buffer.h"
#include "sim/machine.h"

namespace flash_test {

constexpr uint16_t kCommandPort = 0x66;
constexpr uint16_t kDataPort = 0x62;

// An EC of blocks × 64 KB that answers at once.
inline sim::MachineConfig EcConfig(uint32_t blocks) {
  sim::MachineConfig config;
  config.Ec.FlashSize = blocks * 65536;
  return config;
}

// Boots the machine, selects port set 1, sets the block count and enters
// flash mode; the trace, console and stalls then start empty.
inline void BootInFlashMode(const sim::MachineConfig& config, int8_t blockCount) {
  sim::Boot(config);
  ResetOptionState();
  EcBoardReset();
  SelectEcPorts(1);
  EcBoardSetBlockCount(blockCount);
  gEcBoard.FlashModeReply = 0;
  (void)EnterFlashMode();  // the tests' ECs answer
  sim::Machine& m = sim::TheMachine();
  m.Trace.clear();
  m.Screen.Calls.clear();
  m.Stalls.clear();
  m.StallPortOps.clear();
}

// One command on the wire: its command-port bytes, then what crossed the data
// port until the next command byte.
struct Segment {
  std::vector<uint8_t> Command;
  std::vector<uint8_t> Written;  // data-port writes
  size_t Reads = 0;              // data-port reads
  size_t StatusReads = 0;        // status reads of the data accesses (and trailing ones)
};

inline std::vector<Segment> Segments() {
  std::vector<Segment> out;
  bool inCommand = false;
  size_t pending = 0;  // status reads not yet known to belong to a data access
  for (const sim::PortAccess& a : sim::TheMachine().Trace) {
    if (!a.Write && a.Port == kCommandPort) {
      pending++;
      continue;
    }
    if (a.Write && a.Port == kCommandPort) {
      if (!inCommand) out.emplace_back();
      out.back().Command.push_back(a.Value);
      inCommand = true;
      pending = 0;  // the command byte's own handshake
      continue;
    }
    if (out.empty()) out.emplace_back();
    out.back().StatusReads += pending;
    pending = 0;
    inCommand = false;
    if (a.Write && a.Port == kDataPort) out.back().Written.push_back(a.Value);
    if (!a.Write && a.Port == kDataPort) out.back().Reads++;
  }
  if (!out.empty()) out.back().StatusReads += pending;
  return out;
}

inline std::vector<uint8_t> CommandBytes() {
  std::vector<uint8_t> out;
  for (const sim::PortAccess& a : sim::TheMachine().Trace)
    if (a.Write && a.Port == kCommandPort) out.push_back(a.Value);
  return out;
}

inline size_t CountAccesses(bool write, uint16_t port) {
  size_t n = 0;
  for (const sim::PortAccess& a : sim::TheMachine().Trace)
    if (a.Write == write && a.Port == port) n++;
  return n;
}

// Bytes that differ from one address to the next.
inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 7) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; i++) bytes[i] = static_cast<uint8_t>((i * 29 + (i >> 8) * 7 + seed) & 0xFF);
  return bytes;
}

inline ImageBuffer Buffer(std::vector<uint8_t>& bytes) { return ImageBuffer{bytes.data(), bytes.size()}; }

inline std::string Repeat(const std::string& piece, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; i++) out += piece;
  return out;
}

inline std::string BlockLine(int block, const std::string& marks, const std::string& end = "   Fine") {
  return "\nBlock" + std::to_string(block) + ": " + marks + end;
}

}  // namespace flash_test
