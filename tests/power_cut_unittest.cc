// The power goes after port operation i of a whole update, for cut points
// spread over the run; then the machine starts again on the same flash and
// volumes and the program runs once more, undisturbed.
//
// Sampling: a clean run is traced first. The cut points are every stride-th
// port operation from a fixed offset (stride = run length / samples, so the
// samples cover the run evenly, every phase included), plus the two
// operations around the first byte of every phase: flash mode (0xDE), each
// erase command, the blank check's read, each program command, the boot
// stream (0x06), the verify's read, leaving flash mode, the auto power-on
// message and the power-off. Deterministic; about 430 cuts in all, each
// followed by a full run, which keeps the test to a few seconds under ASan.
//
// At each cut the state left behind is classified (flash: old image, partly
// erased, erased, partly new, new image; the counter file for a burn-in run)
// and the test prints how often each class was met. Checked at every cut:
// the fresh run ends verified with the flash equal to the image; with
// boot-last programming the first kilobyte holds no new byte before the 0x06
// stream has started.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "tests/test_support.h"

namespace {

using testing_support::OneBlockImage;
using testing_support::OneBlockOldFlash;
using testing_support::TempDir;

constexpr uint32_t kFlashSize = 65536;
constexpr uint32_t kBootSectorSize = 1024;

// What the flash holds, byte by byte against the old and the new image.
std::string FlashClass(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& target) {
  if (flash == OneBlockOldFlash()) return "old image";
  if (flash == target) return "new image";
  bool allErased = true, oldOrErased = true, newOrErased = true;
  for (size_t i = 0; i < flash.size(); i++) {
    const uint8_t b = flash[i];
    allErased &= b == 0xFF;
    oldOrErased &= b == 0xFF || b == OneBlockOldFlash()[i];
    newOrErased &= b == 0xFF || b == target[i];
  }
  if (allErased) return "erased";
  if (oldOrErased) return "partly erased (old and 0xFF)";
  if (newOrErased) return "partly new (new and 0xFF)";
  return "mixed (new, old and 0xFF)";
}

bool BootSectorHasNewBytes(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& target) {
  for (uint32_t i = 0; i < kBootSectorSize; i++)
    if (flash[i] != 0xFF && flash[i] != OneBlockOldFlash()[i] && flash[i] == target[i]) return true;
  return false;
}

struct Scenario {
  const char* Name;
  std::vector<std::u16string> Args;
  uint8_t ModeReply;   // nonzero: boot-last programming with the sector sweep
  bool BurnIn;         // the volume holds the burn-in scripts and counter
  size_t Samples;
};

struct Boundaries {
  std::vector<uint64_t> Ops;  // port operation indexes where a phase's first byte goes out
  uint64_t BootStream = UINT64_MAX;  // index of the 0x06 command byte
  uint64_t BlankCheck = UINT64_MAX;  // index of the blank check's first 0x03
  uint64_t Total = 0;
  std::vector<uint8_t> Target;  // the flash after the clean run: the image (autoload patched with /ad)
};

const std::string kStartUp = "FS0:\ncd \\EFI\\BOOT\ncp -q ecBurnIn2ND.NSH StartUp.NSH\ncd \\\ntarnwick EC.BIN /ad /c5 /v /br \r\n";
const std::string kSecond = "FS0:\ncd \\EFI\\BOOT\ncp -q ecBurnIn1ST.NSH StartUp.NSH\ncd \\\ntarnwick EC.BIN /ad /c5 /v /br \r\n";

void PrepareVolume(const TempDir& volume, bool burnIn) {
  volume.Write("EC.BIN", OneBlockImage());
  if (!burnIn) return;
  volume.Write("EFI/BOOT/FlashTimes.TXT", std::string("7"));
  volume.Write("EFI/BOOT/StartUp.NSH", kStartUp);
  volume.Write("EFI/BOOT/ecBurnIn2nd.NSH", kSecond);
}

sim::MachineConfig ConfigFor(const Scenario& s, const TempDir& volume, const std::vector<uint8_t>& flash) {
  sim::MachineConfig config;
  config.Ec.FlashSize = kFlashSize;
  config.Ec.SizeReply = 0;
  if (s.ModeReply != 0) {
    config.Ec.HasModeReply = true;
    config.Ec.ModeReply = s.ModeReply;
  }
  config.Flash = flash;
  config.Volumes = {volume.Path()};
  config.Args = s.Args;
  config.PowerOff = sim::PowerOffMode::Halt;
  config.TraceEnabled = false;
  return config;
}

Boundaries MeasureBoundaries(const Scenario& s) {
  TempDir volume;
  PrepareVolume(volume, s.BurnIn);
  sim::MachineConfig config = ConfigFor(s, volume, OneBlockOldFlash());
  config.TraceEnabled = true;
  sim::Boot(config);
  sim::RunTarnwick();
  Boundaries b;
  b.Target = sim::FlashContents();
  const auto& trace = sim::TheMachine().Trace;
  b.Total = trace.size();
  bool inFlashMode = false, programmed = false;
  uint8_t previous = 0;
  for (uint64_t i = 0; i < trace.size(); i++) {
    const sim::PortAccess& a = trace[i];
    if (!a.Write) continue;
    const bool command = a.Port == 0x66;
    if (command && a.Value == 0xDE) inFlashMode = true;
    bool phase = false;
    if (inFlashMode && command) {
      switch (a.Value) {
        case 0xDE: case 0xF0: case 0x01: case 0x05: case 0xFE: case 0xFC: phase = true; break;
        case 0x03:  // the first block read of a check
          phase = previous != 0x03;
          if (b.BlankCheck == UINT64_MAX) b.BlankCheck = i;
          break;
        case 0x02: phase = true; programmed = true; break;
        case 0x06:
          phase = true;
          if (b.BootStream == UINT64_MAX) b.BootStream = i;
          break;
        default: break;
      }
      previous = a.Value;
    }
    if (a.Port == 0x62 && a.Value == 0x97 && programmed) phase = true;  // auto power-on message
    if (command && a.Value == 0x95) phase = true;                        // power-off
    if (phase) b.Ops.push_back(i);
  }
  return b;
}

std::vector<uint64_t> CutPoints(const Scenario& s, const Boundaries& b) {
  std::set<uint64_t> cuts;
  const uint64_t stride = b.Total / s.Samples;
  for (uint64_t i = stride / 3; i < b.Total; i += stride) cuts.insert(i);
  for (uint64_t i : {0, 1, 7, 30}) cuts.insert(i);  // the size probe, before anything else
  // A sector sweep has 64 erase commands: take its first and last few only.
  for (size_t k = 0; k < b.Ops.size(); k++) {
    if (k > 8 && k + 8 < b.Ops.size() && k % 16 != 0) continue;
    cuts.insert(b.Ops[k]);
    if (b.Ops[k] + 1 < b.Total) cuts.insert(b.Ops[k] + 1);
  }
  return std::vector<uint64_t>(cuts.begin(), cuts.end());
}

void RunScenario(const Scenario& s) {
  const Boundaries bounds = MeasureBoundaries(s);
  ASSERT_GT(bounds.Total, 100000u) << s.Name;
  ASSERT_NE(sim::TheMachine().Screen.PlainUtf8().find("\n Verfied success\n"), std::string::npos) << s.Name;
  if (!s.BurnIn) ASSERT_EQ(bounds.Target, OneBlockImage()) << s.Name;
  if (s.ModeReply != 0) ASSERT_NE(bounds.BootStream, UINT64_MAX) << s.Name;
  const std::vector<uint64_t> cuts = CutPoints(s, bounds);
  std::map<std::string, size_t> classes;

  for (uint64_t cut : cuts) {
    const std::string at = std::string(s.Name) + ", cut after " + std::to_string(cut) + " port ops";
    TempDir volume;
    PrepareVolume(volume, s.BurnIn);
    sim::MachineConfig config = ConfigFor(s, volume, OneBlockOldFlash());
    config.Fault.PowerCutAfterPortOps = static_cast<int64_t>(cut);
    sim::Boot(config);
    sim::RunTarnwick();
    ASSERT_TRUE(sim::TheMachine().PowerCut) << at;

    const std::vector<uint8_t> left = sim::FlashContents();
    std::string state = FlashClass(left, bounds.Target);
    std::string counter;
    if (s.BurnIn) {
      counter = volume.Read("EFI/BOOT/FlashTimes.TXT");
      state += ", counter " + counter;
      EXPECT_TRUE(counter == "7" || counter == "8") << at << ": counter " << counter;
      EXPECT_EQ(volume.Read("EFI/BOOT/StartUp.NSH"), kStartUp) << at;  // the shell swaps the scripts, not the run
      EXPECT_EQ(volume.Read("EFI/BOOT/ecBurnIn2nd.NSH"), kSecond) << at;
    }
    classes[state]++;
    if (s.ModeReply != 0 && cut <= bounds.BootStream) {
      EXPECT_FALSE(BootSectorHasNewBytes(left, bounds.Target)) << at << ": the boot sector got new bytes before 0x06";
      // Once the sweep has passed it, the boot sector stays erased until its stream.
      if (cut > bounds.BlankCheck)
        EXPECT_EQ(std::vector<uint8_t>(left.begin(), left.begin() + kBootSectorSize),
                  std::vector<uint8_t>(kBootSectorSize, 0xFF))
            << at;
    }

    // The machine comes back on; the program runs again on what was left.
    sim::Boot(ConfigFor(s, volume, left));
    sim::RunTarnwick();
    const std::string text = sim::TheMachine().Screen.PlainUtf8();
    EXPECT_NE(text.find("\n Verfied success\n"), std::string::npos) << at;
    EXPECT_EQ(sim::FlashContents(), bounds.Target) << at;
    if (s.BurnIn) {
      const std::string expected = counter == "7" ? "8" : "9";
      EXPECT_EQ(volume.Read("EFI/BOOT/FlashTimes.TXT"), expected) << at;
    }
    EXPECT_TRUE(sim::TakeAudit().Clean()) << at;
    if (::testing::Test::HasFailure()) return;  // one broken cut tells the story
  }

  std::printf("  %s: %zu cuts over %llu port ops\n", s.Name, cuts.size(),
              static_cast<unsigned long long>(bounds.Total));
  for (const auto& c : classes) std::printf("    %-48s %zu\n", c.first.c_str(), c.second);
}

TEST(PowerCut, ChipEraseUpdateThenShutdown) {
  RunScenario({"chip erase, shutdown", {u"EC.BIN", u"/h"}, 0, false, 90});
}

TEST(PowerCut, BootLastUpdateKeepsTheBootSectorErasedUntilItsStream) {
  RunScenario({"boot-last (0x5A), stay in the shell", {u"EC.BIN", u"/p"}, 0x5A, false, 90});
}

TEST(PowerCut, BurnInIteration) {
  RunScenario({"burn-in iteration /ad /c5 /v /br", {u"EC.BIN", u"/ad", u"/c5", u"/v", u"/br"}, 0, true, 40});
}

}  // namespace
