// A four-block EC that stops answering, in every job of the dead-EC
// catalogue: no run may take more than 60 million port accesses (each run is
// cut there), the exit code tells the truth about the flash, an EC that took
// nothing keeps its flash, a dump never lands under the backup's name, and an
// update with nothing on the ports stops before the erase.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/dead_ec_catalogue.h"
#include "sim/machine.h"
#include "tests/test_support.h"

namespace {

// About 250 writes reach the erase; 70,000 lie in the second block's stream.
const std::vector<uint64_t> kDeathPoints = {300, 70000};

TEST(DeadEc, EveryJobEndsWithinAMinuteOfPortTimeWithATrueVerdict) {
  testing_support::TempDir volume;
  sim::WriteDeadEcImage(volume.Path());
  uint64_t worst = 0;
  for (const sim::DeadEcJob& job : sim::DeadEcJobs()) {
    for (const sim::DeadEcFault& fault : sim::DeadEcFaults(kDeathPoints)) {
      const std::string row = std::string(job.Name) + ", " + fault.Name;
      sim::Boot(sim::DeadEcMachine(volume.Path(), job, fault));
      sim::RunTarnwick();
      const sim::Machine& m = sim::TheMachine();
      worst = std::max(worst, m.PortOps);
      ASSERT_FALSE(m.PowerCut) << row << ": cut at " << sim::kDeadEcPortOpsBound << " port accesses";
      const std::vector<uint8_t> flash = sim::FlashContents();
      EXPECT_TRUE(sim::DeadEcVerdictHolds(job, m.ExitCode, flash)) << row << ": exit " << m.ExitCode;
      if (fault.NothingTaken) {
        EXPECT_EQ(flash, std::vector<uint8_t>(sim::kDeadEcFlashSize, sim::kDeadEcOldByte)) << row;
      }
      if (fault.Name == "no EC" && !job.Dump) EXPECT_LE(m.PortOps, sim::kNoEcUpdatePortOps) << row;
      if (job.Dump) {
        // Saved only when every byte came: then it is the flash, byte for byte.
        const bool saved = m.ExitCode == 1;
        EXPECT_EQ(volume.Exists("ECRom12071030.bin"), saved) << row;
        EXPECT_EQ(volume.Exists("ECRom12071030.bad"), !saved) << row;
        if (saved) EXPECT_EQ(volume.Read("ECRom12071030.bin"), std::string(sim::kDeadEcFlashSize, sim::kDeadEcOldByte)) << row;
        for (const char* name : {"ECRom12071030.bin", "ECRom12071030.bad"}) std::remove(volume.File(name).c_str());
      }
      EXPECT_TRUE(sim::TakeAudit().Clean()) << row;
    }
  }
  std::printf("  worst run: %llu port accesses\n", static_cast<unsigned long long>(worst));
}

}  // namespace
