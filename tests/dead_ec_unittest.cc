// A four-block EC that stops answering, in every job: no run may take more
// than 60 million port accesses (a minute at 1 us each), and the verdict is
// true: an update or whole-flash erase that did not happen is never exit 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "sim/machine.h"
#include "tests/test_support.h"
#include "tests/console_text.h"

namespace {

using testing_support::SampleImage;

constexpr uint32_t kFlashSize = 4 * 65536;
constexpr uint64_t kPortOpsBound = 60000000;

enum class Fault { NoEc, IbfStuck, ObfNever, DiesInEraseOrStream };

struct Job {
  const char* Name;
  std::vector<std::u16string> Args;  // after EC.BIN /p /y /k /f8
  uint8_t ModeReply;                 // nonzero: sector sweep and boot-last
};

const Job kJobs[] = {
    {"chip erase", {}, 0},        {"sweep", {u"/l"}, 0},         {"boot-last", {}, 0x5A},
    {"/g", {u"/g"}, 0},           {"/e", {u"/e"}, 0},            {"/e /l", {u"/e", u"/l"}, 0},
    {"dump", {u"/r"}, 0},         {"/e5", {u"/e5"}, 0},
};

struct FaultCase {
  Fault What;
  const char* Name;
  uint64_t DieAfterWrites;  // DiesInEraseOrStream: EC port writes it still takes
};

const FaultCase kFaults[] = {
    {Fault::NoEc, "no EC", 0},
    {Fault::IbfStuck, "IBF stuck from the start", 0},
    {Fault::ObfNever, "OBF never set", 0},
    // About 250 writes reach the erase; 70,000 lie in the second block's stream.
    {Fault::DiesInEraseOrStream, "EC dies in the erase", 300},
    {Fault::DiesInEraseOrStream, "EC dies in block 1's stream", 70000},
};

TEST(DeadEc, EveryJobEndsWithinAMinuteOfPortTimeWithATrueVerdict) {
  testing_support::TempDir volume;
  const std::vector<uint8_t> image = SampleImage(kFlashSize);
  volume.Write("EC.BIN", image);
  uint64_t worst = 0;
  for (const Job& job : kJobs) {
    for (const FaultCase& fault : kFaults) {
      const std::string row = std::string(job.Name) + ", " + fault.Name;
      sim::MachineConfig config;
      config.Ec.FlashSize = kFlashSize;
      config.Flash.assign(kFlashSize, 0x11);
      config.Volumes = {volume.Path()};
      config.Args = {u"EC.BIN", u"/p", u"/y", u"/k", u"/f8"};
      config.Args.insert(config.Args.end(), job.Args.begin(), job.Args.end());
      config.TraceEnabled = false;
      if (job.ModeReply != 0) {
        config.Ec.HasModeReply = true;
        config.Ec.ModeReply = job.ModeReply;
      }
      switch (fault.What) {
        case Fault::NoEc: config.Ec.Present = false; break;
        case Fault::IbfStuck: config.Ec.IbfStuckForever = true; break;
        case Fault::ObfNever: config.Ec.ObfNeverSet = true; break;
        case Fault::DiesInEraseOrStream: config.Ec.IbfStuckAfterBytes = fault.DieAfterWrites; break;
      }
      sim::Boot(config);
      sim::RunTarnwick();
      const sim::Machine& m = sim::TheMachine();
      if (m.PortOps > worst) worst = m.PortOps;
      EXPECT_LE(m.PortOps, kPortOpsBound) << row;
      const std::vector<uint8_t> flash = sim::FlashContents();
      const std::string name = job.Name;
      const bool eraseOnly = name.compare(0, 2, "/e") == 0;
      const bool nothingTaken = fault.What == Fault::NoEc || fault.What == Fault::IbfStuck;
      if (name == "dump") {
        EXPECT_EQ(m.ExitCode, kExitRejected) << row;
      } else if (name == "/e5") {
        EXPECT_EQ(m.ExitCode, kExitOk) << row;  // one sector is not judged
      } else if (eraseOnly) {
        // Success only for a flash that really is erased; an EC that took
        // nothing has erased nothing.
        EXPECT_EQ(m.ExitCode, nothingTaken || flash != std::vector<uint8_t>(kFlashSize, 0xFF) ? kExitUpdateFailed : kExitOk) << row;
      } else {
        EXPECT_EQ(m.ExitCode, kExitUpdateFailed) << row;
      }
      if (nothingTaken) EXPECT_EQ(flash, std::vector<uint8_t>(kFlashSize, 0x11)) << row;
      EXPECT_TRUE(sim::TakeAudit().Clean()) << row;
    }
  }
  std::printf("  worst run: %llu port accesses\n", static_cast<unsigned long long>(worst));
}

}  // namespace
