// Every job against an EC that stops answering, in one place: the jobs, the
// ways the EC fails, the machine they run on and the verdict each run owes.
// The dead-EC test walks it for the verdicts, the benchmark for the longest
// runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

constexpr uint32_t kDeadEcFlashSize = 4 * 65536;   // a four-block part, /f8
constexpr uint8_t kDeadEcOldByte = 0x11;           // what the flash holds before the run
// No run may take longer: a minute of port time at 1 us per access. The
// machine loses power there, so a guard that fails cannot run for hours.
constexpr uint64_t kDeadEcPortOpsBound = 60000000;
// An update run against nothing at all stops before the erase, well within this.
constexpr uint64_t kNoEcUpdatePortOps = 3000000;

struct DeadEcJob {
  const char* Name;
  std::vector<std::u16string> Args;  // after EC.BIN /p /y /k /f8
  uint8_t ModeReply;                 // nonzero: sector sweep and boot-last
  // Erase-only jobs: the bytes they erase (ErasedTo 0: not an erase-only job).
  uint32_t ErasedFrom, ErasedTo;
  bool Dump;                         // /r: never leaves a file under the .bin name
};

struct DeadEcFault {
  std::string Name;
  std::function<void(EcConfig&)> Apply;
  bool NothingTaken;  // the EC never takes a byte: the flash stays as it was
};

const std::vector<DeadEcJob>& DeadEcJobs();
// No EC, IBF stuck from the start, OBF never set, then the EC dying after
// each of dieAfterWrites of its port writes.
std::vector<DeadEcFault> DeadEcFaults(const std::vector<uint64_t>& dieAfterWrites);
// The machine of one run: the four-block part holding kDeadEcOldByte, the
// sample image as EC.BIN on volume, the job's command line, no trace.
MachineConfig DeadEcMachine(const std::string& volume, const DeadEcJob& job, const DeadEcFault& fault);
// Writes the image the jobs flash to volume/EC.BIN.
void WriteDeadEcImage(const std::string& volume);
// True when the run's exit code tells the truth about the flash it left.
// Updates: 3, nothing can verify. Dumps: 1 (saved) or 3 (incomplete; the
// files tell which is true). Erase-only jobs: 0
// or 3, and 0 only when their bytes read 0xFF (an EC that dies right after
// taking the last byte may have erased without saying so: 3 is true there).
bool DeadEcVerdictHolds(const DeadEcJob& job, int code, const std::vector<uint8_t>& flash);

}  // namespace sim
