// Every file-system and memory failure the program can meet, injected through
// the simulated machine: the dump, the image load, the burn-in set-up and the
// burn-in counter, then every allocation of the runs that allocate, failed
// one at a time. Each row checks the exact message, the exit code, what is
// left on the volume and the EC, and that nothing stays allocated or open.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "sim/host_state.h"
#include "sim/machine.h"
#include "tests/test_support.h"
#include "tests/console_text.h"

namespace {

using testing_support::OneBlockOldFlash;
using testing_support::SampleImage;
using testing_support::TempDir;

constexpr int kPoweredOff = -1;  // the run ended with the machine switched off
const std::string kDumpName = "ECRom12071030.bin";  // the machine's clock: 12-07 10:30
const std::string kEndTime = "\nEnd time 10:30:45\n";

// What the EC holds when the run is over.
enum class EcAfter {
  Untouched,    // never in flash mode; the old flash
  ReadOnly,     // flash mode entered and left, the old flash
  Updated,      // the flash holds the new image
};

struct Volume {
  TempDir Dir;
  Volume() {
    Dir.Write("EC.BIN", SampleImage(65536));
    Dir.Write("EFI/BOOT/FlashTimes.TXT", std::string("41"));
  }
};

// What a row expects of the volume afterwards; empty: the volume as it was.
using VolumeCheck = std::function<void(const TempDir&, const std::string& row)>;

struct Row {
  const char* Name;
  std::vector<std::u16string> Args;
  std::function<void(sim::Faults&)> Inject;
  int ExitCode;
  std::string Message;  // exact text that must appear on the console ("" : none)
  EcAfter Ec;
  VolumeCheck Files;
};

sim::MachineConfig Config(const TempDir& first, const TempDir& second, const std::vector<std::u16string>& args) {
  sim::MachineConfig config;
  config.Ec.FlashSize = 65536;
  config.Ec.SizeReply = 0;  // one block
  config.Flash = OneBlockOldFlash();
  config.Volumes = {first.Path(), second.Path()};
  config.Args = args;
  config.PowerOff = sim::PowerOffMode::Halt;
  config.TraceEnabled = false;
  return config;
}

bool Event(const std::string& name) {
  for (const std::string& e : sim::EventNames())
    if (e == name) return true;
  return false;
}

void CheckEc(EcAfter expected, const std::string& row) {
  std::vector<uint8_t> flash = sim::FlashContents();
  switch (expected) {
    case EcAfter::Untouched:
      EXPECT_FALSE(Event("flash-mode-entered")) << row;
      EXPECT_EQ(flash, OneBlockOldFlash()) << row;
      break;
    case EcAfter::ReadOnly:
      EXPECT_TRUE(Event("flash-mode-entered")) << row;
      EXPECT_TRUE(Event("flash-mode-left")) << row;
      EXPECT_EQ(flash, OneBlockOldFlash()) << row;
      break;
    case EcAfter::Updated:
      EXPECT_EQ(flash, SampleImage(65536)) << row;
      break;
  }
}

// Runs a row on a fresh pair of volumes (the second one mirrors the first).
void RunRow(const Row& row) {
  Volume first, second;
  sim::MachineConfig config = Config(first.Dir, second.Dir, row.Args);
  row.Inject(config.Fault);
  sim::Boot(config);
  sim::RunTarnwick();
  const sim::Machine& m = sim::TheMachine();
  const std::string text = console_text::Text();
  if (row.ExitCode == kPoweredOff) {
    EXPECT_TRUE(m.PoweredOff) << row.Name;
  } else {
    EXPECT_FALSE(m.PoweredOff) << row.Name;
    EXPECT_EQ(m.ExitCode, row.ExitCode) << row.Name;
  }
  if (!row.Message.empty()) EXPECT_NE(text.find(row.Message), std::string::npos) << row.Name << ":\n" << text;
  CheckEc(row.Ec, row.Name);
  if (row.Files) {
    row.Files(first.Dir, row.Name);
  } else {
    EXPECT_EQ(first.Dir.Read("EFI/BOOT/FlashTimes.TXT"), "41") << row.Name;
    EXPECT_FALSE(first.Dir.Exists(kDumpName)) << row.Name;
    EXPECT_FALSE(first.Dir.Exists("EFI/BOOT/StartUp.NSH")) << row.Name;
  }
  sim::Audit audit = sim::TakeAudit();
  EXPECT_TRUE(audit.Clean()) << row.Name << ": " << (audit.Details.empty() ? "" : audit.Details[0]);
}

// ---- volume expectations ----

VolumeCheck DumpFile(size_t size) {
  return [size](const TempDir& v, const std::string& row) {
    ASSERT_TRUE(v.Exists(kDumpName)) << row;
    std::string bytes = v.Read(kDumpName);
    EXPECT_EQ(bytes.size(), size) << row;
    if (size == 65536) EXPECT_EQ(bytes, std::string(OneBlockOldFlash().begin(), OneBlockOldFlash().end())) << row;
  };
}

VolumeCheck Counter(const std::string& content) {
  return [content](const TempDir& v, const std::string& row) {
    EXPECT_EQ(v.Read("EFI/BOOT/FlashTimes.TXT"), content) << row;
  };
}

// The burn-in files that exist afterwards, in creation order, and their sizes
// (npos: any size); the counter's content when it exists.
VolumeCheck BurnInFiles(std::vector<std::pair<std::string, size_t>> files, std::string counter) {
  return [files, counter](const TempDir& v, const std::string& row) {
    for (const char* name : {"ecBurnIn1st.NSH", "StartUp.NSH", "ecBurnIn2nd.NSH"}) {
      bool listed = false;
      for (const auto& f : files) {
        if (f.first != name) continue;
        listed = true;
        ASSERT_TRUE(v.Exists(std::string("EFI/BOOT/") + name)) << row << ": " << name;
        if (f.second != std::string::npos)
          EXPECT_EQ(v.Read(std::string("EFI/BOOT/") + name).size(), f.second) << row << ": " << name;
      }
      if (!listed) EXPECT_FALSE(v.Exists(std::string("EFI/BOOT/") + name)) << row << ": " << name;
    }
    if (counter.empty()) EXPECT_FALSE(v.Exists("EFI/BOOT/FlashTimes.TXT")) << row;
    else EXPECT_EQ(v.Read("EFI/BOOT/FlashTimes.TXT"), counter) << row;
  };
}

const std::vector<std::u16string> kDump = {u"EC.BIN", u"/r"};
const std::vector<std::u16string> kUpdate = {u"EC.BIN", u"/p"};
const std::vector<std::u16string> kBurnInSetUp = {u"EC.BIN", u"/bi", u"B.BIN"};
const std::vector<std::u16string> kBurnInRun = {u"EC.BIN", u"/p", u"/br"};

std::string LoadFailure(const std::string& text, const std::string& ending) {
  return "M/B  EC Version: 1.19.01.00\n" + text + "\\EC.BIN" + ending + kEndTime;
}

TEST(FailureSweep, EveryFailureRow) {
  const size_t any = std::string::npos;
  const auto scriptsWritten = BurnInFiles({{"ecBurnIn1st.NSH", any}, {"StartUp.NSH", any}, {"ecBurnIn2nd.NSH", any}},
                                          "0");
  const Row rows[] = {
      // ---- the ROM dump ----
      {"dump: no file system", kDump, [](sim::Faults& f) { f.NoFileSystem = true; }, 1,
       "Can't create file protocal (Err. No. : 1)\n", EcAfter::Untouched, nullptr},
      {"dump: volume does not open", kDump, [](sim::Faults& f) { f.OpenVolumeFails = {0}; }, 1,
       "Can't OpenVolume (Err. No. : 1)\n", EcAfter::Untouched, nullptr},
      {"dump: file not created", kDump, [](sim::Faults& f) { f.CreateFailCall = 1; }, 1,
       "Can't create file: \\" + kDumpName + ", (Err. No. :1)\n", EcAfter::Untouched, nullptr},
      {"dump: no buffer", kDump, [](sim::Faults& f) { f.AllocFailMinSize = 65536; }, 1,
       "Can't create 64K buffer memory for read/write\n", EcAfter::Untouched, DumpFile(0)},
      {"dump: write fails", kDump, [](sim::Faults& f) { f.WriteFailCall = 1; }, 1,
       "Waitting to write data to the input file : \\" + kDumpName + "Can't write data to file: \\" + kDumpName +
           ", (Err. No. :1)\n",
       EcAfter::ReadOnly, DumpFile(0)},
      {"dump: short write", kDump, [](sim::Faults& f) { f.WriteShortBytes = 1000; }, 1,
       "Waitting to write data to the input file : \\" + kDumpName, EcAfter::ReadOnly, DumpFile(1000)},
      {"dump: close fails", kDump, [](sim::Faults& f) { f.CloseFailPath = u"\\" + std::u16string(u"ECRom12071030.bin"); },
       1, "Can not close the input file: \\" + kDumpName + ", (Err. No.: 1)\n", EcAfter::ReadOnly, DumpFile(65536)},

      // ---- the image load ----
      {"load: no volume handles", kUpdate, [](sim::Faults& f) { f.LocateHandlesStatus = kEfiDeviceError; }, 4,
       "M/B  EC Version: 1.19.01.00\n" + kEndTime, EcAfter::Untouched, nullptr},
      {"load: file on no volume", {u"MISSING.BIN", u"/p"}, [](sim::Faults&) {}, 4,
       "Can not open the input file:\\MISSING.BIN\n\r" + kEndTime, EcAfter::Untouched, nullptr},
      {"load: size query fails", kUpdate, [](sim::Faults& f) { f.GetInfoStatus = kEfiDeviceError; }, 4,
       LoadFailure("Can not obtain file size info for input file: ", "\n\r"), EcAfter::Untouched, nullptr},
      {"load: no information buffer", kUpdate, [](sim::Faults& f) { f.AllocFailCall = 3; }, 4,
       LoadFailure("Can not allocate enough memory for input file: ", ".\n\r"), EcAfter::Untouched, nullptr},
      {"load: second GetInfo fails", kUpdate, [](sim::Faults& f) { f.GetInfoFailCall = 2; }, 4,
       LoadFailure("Can not obtain file data for input file: ", ".\n\r"), EcAfter::Untouched, nullptr},
      {"load: no data buffer", kUpdate, [](sim::Faults& f) { f.AllocFailMinSize = 65536; }, 4,
       LoadFailure("Can not allocate a buffer for input file: ", ".\n\r"), EcAfter::Untouched, nullptr},
      {"load: read fails", kUpdate, [](sim::Faults& f) { f.ReadFailCall = 1; }, 4,
       LoadFailure("Can not read the input file: ", ".\n\r"), EcAfter::Untouched, nullptr},
      {"load: close fails", kUpdate, [](sim::Faults& f) { f.CloseFailPath = u"\\EC.BIN"; }, 4,
       LoadFailure("Can not close the file input file: ", ".\n\r"), EcAfter::Untouched, nullptr},
      {"load: first volume does not open", kUpdate, [](sim::Faults& f) { f.OpenVolumeFails = {0}; }, 0,
       "", EcAfter::Updated, nullptr},

      // ---- the burn-in set-up ----
      {"set-up: no file system", kBurnInSetUp, [](sim::Faults& f) { f.NoFileSystem = true; }, 1,
       "Can't create file protocal (Err. No. : 1)\n", EcAfter::Untouched, nullptr},
      {"set-up: volume does not open", kBurnInSetUp, [](sim::Faults& f) { f.OpenVolumeFails = {0}; }, 1,
       "Can't OpenVolume (Err. No. : 1)\n", EcAfter::Untouched, nullptr},
      {"set-up: first script not created", kBurnInSetUp,
       [](sim::Faults& f) { f.CreateFailPath = u"\\EFI\\BOOT\\ecBurnIn1st.NSH"; }, 1,
       "Can't create file: \\EFI\\BOOT\\ecBurnIn1st.NSH, (Err. No. :1)\n", EcAfter::Untouched,
       BurnInFiles({}, "41")},
      {"set-up: first script not created again after its delete", kBurnInSetUp,
       [](sim::Faults& f) { f.CreateFailCall = 2; }, 1,
       "Can't create file: \\EFI\\BOOT\\ecBurnIn1st.NSH, (Err. No. :1)\n", EcAfter::Untouched,
       BurnInFiles({}, "41")},
      {"set-up: start-up script not created", kBurnInSetUp,
       [](sim::Faults& f) { f.CreateFailPath = u"\\EFI\\BOOT\\StartUp.NSH"; }, 1,
       "Can't create file: \\EFI\\BOOT\\StartUp.NSH, (Err. No. :1)\n", EcAfter::Untouched,
       BurnInFiles({{"ecBurnIn1st.NSH", 0}}, "41")},
      {"set-up: second script not created", kBurnInSetUp,
       [](sim::Faults& f) { f.CreateFailPath = u"\\EFI\\BOOT\\ecBurnIn2nd.NSH"; }, 1,
       "Can't create file: \\EFI\\BOOT\\ecBurnIn2nd.NSH, (Err. No. :1)\n", EcAfter::Untouched,
       BurnInFiles({{"ecBurnIn1st.NSH", 0}, {"StartUp.NSH", 0}}, "41")},
      {"set-up: counter not opened", kBurnInSetUp,
       [](sim::Faults& f) { f.CreateFailPath = u"\\EFI\\BOOT\\FlashTimes.TXT"; }, 1,
       "Can't create file: \\EFI\\BOOT\\FlashTimes.TXT, (Err. No. :1)\n", EcAfter::Untouched,
       BurnInFiles({{"ecBurnIn1st.NSH", 0}, {"StartUp.NSH", 0}, {"ecBurnIn2nd.NSH", 0}}, "41")},
      {"set-up: counter not created again after its delete", kBurnInSetUp,
       [](sim::Faults& f) { f.CreateFailCall = 8; }, 1,
       "Can't create file: \\EFI\\BOOT\\FlashTimes.TXT, (Err. No. :1)\n", EcAfter::Untouched,
       BurnInFiles({{"ecBurnIn1st.NSH", 0}, {"StartUp.NSH", 0}, {"ecBurnIn2nd.NSH", 0}}, "")},
      {"set-up: counter does not close", kBurnInSetUp,
       [](sim::Faults& f) { f.CloseFailPath = u"\\EFI\\BOOT\\FlashTimes.TXT"; }, kPoweredOff,
       "Can not close the input file: \\EFI\\BOOT\\FlashTimes.TXT, (Err. No.: 1)\n", EcAfter::Untouched,
       scriptsWritten},
      {"set-up: a script write fails", kBurnInSetUp, [](sim::Faults& f) { f.WriteFailCall = 2; }, kPoweredOff, "",
       EcAfter::Untouched, scriptsWritten},

      // ---- the burn-in counter (the update goes on) ----
      {"counter: no file system", kBurnInRun, [](sim::Faults& f) { f.NoFileSystem = true; }, 4,
       "Can't create file protocal (Err. No. : 1)\n", EcAfter::Untouched, nullptr},
      {"counter: volume does not open", kBurnInRun, [](sim::Faults& f) { f.OpenVolumeFails = {0}; }, 0,
       "Can't OpenVolume (Err. No. : 1)\n", EcAfter::Updated, Counter("41")},
      {"counter: file does not open", kBurnInRun,
       [](sim::Faults& f) { f.OpenFails[u"\\EFI\\BOOT\\FlashTimes.TXT"] = kEfiNotFound; }, 0,
       "Can't create file: \\EFI\\BOOT\\FlashTimes.TXT, (Err. No. :1)\n", EcAfter::Updated, Counter("41")},
      {"counter: size query fails", kBurnInRun, [](sim::Faults& f) { f.GetInfoFailCall = 1; }, 0, "",
       EcAfter::Updated, Counter("41")},
      {"counter: record not allocated", kBurnInRun, [](sim::Faults& f) { f.AllocFailCall = 1; }, 0, "",
       EcAfter::Updated, Counter("41")},
      {"counter: digit buffer not allocated", kBurnInRun, [](sim::Faults& f) { f.AllocFailCall = 2; }, 0, "",
       EcAfter::Updated, Counter("41")},
      {"counter: read fails", kBurnInRun, [](sim::Faults& f) { f.ReadFailCall = 1; }, 0, "", EcAfter::Updated,
       Counter("41")},
      {"counter: write fails", kBurnInRun, [](sim::Faults& f) { f.WriteFailCall = 1; }, 0, "", EcAfter::Updated,
       Counter("41")},
      {"counter: close fails", kBurnInRun, [](sim::Faults& f) { f.CloseFailPath = u"\\EFI\\BOOT\\FlashTimes.TXT"; },
       0, "", EcAfter::Updated, Counter("42")},
  };
  for (const Row& row : rows) RunRow(row);
}

// Fails allocation 1, 2, 3, ... of each run until a run makes fewer
// allocations than the one failed. Every allocation of the program is met:
// the counter's record and digit buffer, the image path, the volume handle
// array, the image's information record and data, and the dump's name and
// buffer. The burn-in set-up allocates nothing.
TEST(FailureSweep, EveryAllocationFailsOnce) {
  struct Expected {
    int ExitCode;
    std::string Message;
    EcAfter Ec;
    VolumeCheck Files;
  };
  struct Run {
    const char* Name;
    std::vector<std::u16string> Args;
    std::vector<Expected> PerAllocation;  // [n - 1]: allocation n fails
  };
  const Expected firstScript{1, "Can't create file: \\EFI\\BOOT\\ecBurnIn1st.NSH, (Err. No. :1)\n",
                             EcAfter::Untouched, BurnInFiles({}, "41")};
  const Expected secondScript{1, "Can't create file: \\EFI\\BOOT\\ecBurnIn2nd.NSH, (Err. No. :1)\n",
                              EcAfter::Untouched, BurnInFiles({{"ecBurnIn1st.NSH", 0}, {"StartUp.NSH", 0}}, "41")};
  const Run runs[] = {
      {"burn-in run",
       kBurnInRun,
       {
           {0, "", EcAfter::Updated, Counter("41")},  // the counter's information record
           {0, "", EcAfter::Updated, Counter("41")},  // the counter's digits
           {4, "Can not allocate a buffer for input file: EC.BIN.\n\r" + kEndTime,
            EcAfter::Untouched, Counter("42")},  // the image path
           {4, "M/B  EC Version: 1.19.01.00\n" + kEndTime, EcAfter::Untouched, Counter("42")},  // the handle array
           {4, LoadFailure("Can not allocate enough memory for input file: ", ".\n\r"), EcAfter::Untouched,
            Counter("42")},
           {4, LoadFailure("Can not allocate a buffer for input file: ", ".\n\r"), EcAfter::Untouched,
            Counter("42")},
       }},
      {"dump",
       kDump,
       {
           {1, "Can't create 64K buffer memory for read/write\n", EcAfter::Untouched, nullptr},  // the name
           {1, "Can't create 64K buffer memory for read/write\n", EcAfter::Untouched, DumpFile(0)},
       }},
      // Each script line, built before the first file that holds it; no power cycle.
      {"burn-in set-up",
       kBurnInSetUp,
       {firstScript, firstScript, firstScript, firstScript, firstScript, secondScript, secondScript}},
  };
  for (const Run& run : runs) {
    for (int n = 1;; n++) {
      Volume first, second;
      sim::MachineConfig config = Config(first.Dir, second.Dir, run.Args);
      config.Fault.AllocFailCall = n;
      sim::Boot(config);
      sim::RunTarnwick();
      const uint64_t made = sim::gHost.Calls.Alloc;
      if (made < static_cast<uint64_t>(n)) {
        EXPECT_EQ(static_cast<size_t>(n - 1), run.PerAllocation.size()) << run.Name << ": allocations made";
        break;
      }
      const std::string name = std::string(run.Name) + ", allocation " + std::to_string(n);
      ASSERT_LE(static_cast<size_t>(n), run.PerAllocation.size()) << name << " is not in the table";
      const Expected& e = run.PerAllocation[n - 1];
      EXPECT_EQ(sim::TheMachine().ExitCode, e.ExitCode) << name;
      const std::string text = console_text::Text();
      if (!e.Message.empty()) EXPECT_NE(text.find(e.Message), std::string::npos) << name << ":\n" << text;
      CheckEc(e.Ec, name);
      if (e.Files) e.Files(first.Dir, name);
      else EXPECT_FALSE(first.Dir.Exists(kDumpName)) << name;
      sim::Audit audit = sim::TakeAudit();
      EXPECT_TRUE(audit.Clean()) << name << ": " << (audit.Details.empty() ? "" : audit.Details[0]);
    }
  }
}

}  // namespace
