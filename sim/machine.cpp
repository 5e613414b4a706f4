// Boots the simulated machine and runs the program on it.
#include "sim/machine.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim/console_model.h"
#include "sim/ec_model_state.h"
#include "sim/host_state.h"

namespace sim {

Machine gMachine;
HostState gHost;

namespace {

// One EC for the life of the process: it is large (flash and its bookkeeping)
// and EcModelReset puts it back in its power-on state for every boot.
EcModel* SharedEc() {
  static EcModel* ec = new EcModel;
  return ec;
}

}  // namespace

MachineConfig::MachineConfig() { EcConfigDefaults(&Ec); }

void ReleaseProgramResources() {
  for (auto& entry : gHost.Allocations) std::free(entry.first);
  gHost.Allocations.clear();
  for (FsFile* file : gHost.OpenFiles) {
    if (file->Fd >= 0) ::close(file->Fd);
    delete file;
  }
  gHost.OpenFiles.clear();
}

HostState::~HostState() {
  for (auto& entry : Allocations) std::free(entry.first);
  Allocations.clear();
  for (FsFile* file : OpenFiles) {
    if (file->Fd >= 0) ::close(file->Fd);
    delete file;
  }
  OpenFiles.clear();
}

void Boot(const MachineConfig& config) {
  ReleaseProgramResources();
  gHost.ConsoleObserver = nullptr;
  gHost.KeySource = nullptr;
  gHost.Misuse.clear();
  gHost.Calls = CallCounters{};
  gHost.NextKey = 0;
  gHost.EventsSeen = 0;
  gHost.EmptyReadsInARow = 0;
  gHost.MachineEvents.clear();
  gHost.Running = false;
  gHost.PowerCutAt =
      config.Fault.PowerCutAfterPortOps >= 0 ? static_cast<uint64_t>(config.Fault.PowerCutAfterPortOps) : UINT64_MAX;

  gHost.Volumes.clear();
  for (size_t i = 0; i < config.Volumes.size(); ++i) {
    std::string root = config.Volumes[i];
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    gHost.Volumes.push_back(std::unique_ptr<FsVolume>(new FsVolume{i, root}));
  }

  gHost.ArgStore.clear();
  gHost.ArgStore.push_back(config.Argv0);
  for (const auto& arg : config.Args) gHost.ArgStore.push_back(arg);
  gHost.ArgPointers.clear();
  for (auto& arg : gHost.ArgStore) gHost.ArgPointers.push_back(&arg[0]);
  gHost.ArgPointers.push_back(nullptr);
  gHost.HasCurrentDirectory = config.CurrentDirectory.has_value();
  gHost.CurrentDirectory = config.CurrentDirectory.value_or(u"");

  gMachine = Machine{};
  gMachine.Config = config;
  gMachine.Ec = SharedEc();
  EcModelReset(gMachine.Ec, &gMachine.Config.Ec, config.Flash.data(), config.Flash.size());
  ConsoleReset(&gMachine.Screen, config.Columns, config.Rows);
}

Machine& TheMachine() { return gMachine; }

void SetKeySource(std::function<bool(InputKey*)> source) { gHost.KeySource = std::move(source); }

void EndRunPoweredOff(const char* event) {
  gMachine.PoweredOff = true;
  if (event != nullptr) gHost.MachineEvents.push_back(event);
  if (gHost.Running) std::longjmp(gHost.Jump, 1);
  // Outside RunTarnwick nothing can end the run, and the program's key loop
  // would wait again for ever: a second wait with no key left ends the caller.
  const std::string noKeys = "no-keys-left";
  if (event != nullptr && event == noKeys &&
      std::count(gHost.MachineEvents.begin(), gHost.MachineEvents.end(), noKeys) > 1)
    throw std::runtime_error("the program waits for a key that no test scripted (MachineConfig::Keys used up)");
}

EfiStatus RunTarnwick() {
  gMachine.PoweredOff = false;
  gMachine.ExitCode = -1;
  // The program's code has no destructors, so leaving its frames by longjmp
  // when the machine switches off skips nothing that had to run.
  if (setjmp(gHost.Jump) == 0) {
    gHost.Running = true;
    EfiStatus status = TarnwickEntry();
    gHost.Running = false;
    gMachine.ExitStatus = status;
    return status;
  }
  gHost.Running = false;
  ReleaseProgramResources();
  gMachine.ExitStatus = kEfiAborted;
  return kEfiAborted;
}

std::vector<uint8_t> FlashContents() {
  const uint8_t* flash = EcModelFlash(gMachine.Ec);
  return std::vector<uint8_t>(flash, flash + EcModelFlashSize(gMachine.Ec));
}

std::vector<std::string> EventNames() {
  std::vector<std::string> names;
  const EcEvent* events = EcModelEvents(gMachine.Ec);
  size_t count = EcModelEventCount(gMachine.Ec);
  char text[64];
  // The firmware's watchdog disarmed (SetWatchdogTimer 0), in order with the EC's events.
  size_t disarms = 0;
  const std::vector<uint64_t>& disarmedAt = gMachine.WatchdogDisabledAt;
  for (size_t i = 0; i <= count; ++i) {
    for (; disarms < disarmedAt.size() && (i == count || disarmedAt[disarms] <= events[i].PortOp); ++disarms) {
      names.push_back("watchdog-disarmed");
    }
    if (i == count) break;
    const EcEvent& e = events[i];
    switch (e.Kind) {
      case EcEventKind::PowerOff: names.push_back("power-off"); break;
      case EcEventKind::AutoPowerOnArmed:
        std::snprintf(text, sizeof(text), "auto-power-on:%u", e.Value);
        names.push_back(text);
        break;
      case EcEventKind::WatchdogReset:
        std::snprintf(text, sizeof(text), "watchdog-reset:%u", e.Value);
        names.push_back(text);
        break;
      case EcEventKind::FlashModeEntered: names.push_back("flash-mode-entered"); break;
      case EcEventKind::FlashModeLeft: names.push_back("flash-mode-left"); break;
      case EcEventKind::ProtocolViolation:
        std::snprintf(text, sizeof(text), "protocol-violation:%02X", e.Value & 0xFF);
        names.push_back(text);
        break;
      case EcEventKind::OutOfRange:
        std::snprintf(text, sizeof(text), "out-of-range:%X", e.Value);
        names.push_back(text);
        break;
    }
  }
  for (const auto& event : gHost.MachineEvents) names.push_back(event);
  return names;
}

std::vector<InputKey> KeysFromText(const std::u16string& text) {
  constexpr uint16_t kScanEscape = 0x17;
  std::vector<InputKey> keys;
  for (char16_t c : text) {
    if (c == 0x1B) {
      keys.push_back(InputKey{kScanEscape, 0});
    } else {
      keys.push_back(InputKey{0, c});
    }
  }
  return keys;
}

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ToUtf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    uint32_t u = c;
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    uint32_t u = b;
    size_t extra = 0;
    if (b >= 0xF0) {
      u = b & 0x07;
      extra = 3;
    } else if (b >= 0xE0) {
      u = b & 0x0F;
      extra = 2;
    } else if (b >= 0xC0) {
      u = b & 0x1F;
      extra = 1;
    }
    ++i;
    for (size_t k = 0; k < extra && i < text.size(); ++k, ++i) u = (u << 6) | (static_cast<uint8_t>(text[i]) & 0x3F);
    out.push_back(u > 0xFFFF ? u'?' : static_cast<char16_t>(u));
  }
  return out;
}

bool SameNameIgnoringCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace sim
