#include "sim/dead_ec_catalogue.h"

#include <algorithm>

#include "sim/sample_image.h"

namespace sim {

namespace {

constexpr int kCodeOk = 0;
constexpr int kCodeSaved = 1;
constexpr int kCodeFailed = 3;
constexpr uint32_t kWhole = kDeadEcFlashSize;

}  // namespace

const std::vector<DeadEcJob>& DeadEcJobs() {
  static const std::vector<DeadEcJob> kJobs = {
      {"chip erase", {}, 0, 0, 0, false},
      {"sector sweep", {u"/l"}, 0, 0, 0, false},
      {"boot-last", {}, 0x5A, 0, 0, false},
      {"/g", {u"/g"}, 0, 0, 0, false},
      {"/e", {u"/e"}, 0, 0, kWhole, false},
      {"/e /l", {u"/e", u"/l"}, 0, 0, kWhole, false},
      {"/e5", {u"/e5"}, 0, 4 * 1024, 5 * 1024, false},
      {"dump (/r)", {u"/r"}, 0, 0, 0, true},
  };
  return kJobs;
}

std::vector<DeadEcFault> DeadEcFaults(const std::vector<uint64_t>& dieAfterWrites) {
  std::vector<DeadEcFault> faults = {
      {"no EC", [](EcConfig& ec) { ec.Present = false; }, true},
      {"IBF stuck from the start", [](EcConfig& ec) { ec.IbfStuckForever = true; }, true},
      {"OBF never set", [](EcConfig& ec) { ec.ObfNeverSet = true; }, false},
  };
  for (uint64_t writes : dieAfterWrites) {
    faults.push_back({"EC dies after " + std::to_string(writes) + " writes",
                      [writes](EcConfig& ec) { ec.IbfStuckAfterBytes = writes; }, false});
  }
  return faults;
}

MachineConfig DeadEcMachine(const std::string& volume, const DeadEcJob& job, const DeadEcFault& fault) {
  MachineConfig config;
  config.Ec.FlashSize = kDeadEcFlashSize;
  config.Flash.assign(kDeadEcFlashSize, kDeadEcOldByte);
  config.Volumes = {volume};
  config.Args = {u"EC.BIN", u"/p", u"/y", u"/k", u"/f8"};
  config.Args.insert(config.Args.end(), job.Args.begin(), job.Args.end());
  config.TraceEnabled = false;
  config.Ec.HasModeReply = job.ModeReply != 0;
  config.Ec.ModeReply = job.ModeReply;
  config.Fault.PowerCutAfterPortOps = static_cast<int64_t>(kDeadEcPortOpsBound);
  if (fault.Apply) fault.Apply(config.Ec);
  return config;
}

void WriteDeadEcImage(const std::string& volume) {
  const std::vector<uint8_t> image = MakeSampleImage(kDeadEcFlashSize, "TESTPRJ", "1.19.02.03", "2026/12/01", 1);
  WriteHostFile(volume + "/EC.BIN", std::string(image.begin(), image.end()));
}

bool DeadEcVerdictHolds(const DeadEcJob& job, int code, const std::vector<uint8_t>& flash) {
  if (job.Dump) return code == kCodeSaved || code == kCodeFailed;
  if (job.ErasedTo == 0) return code == kCodeFailed;
  if (code == kCodeFailed) return true;
  if (code != kCodeOk || flash.size() < job.ErasedTo) return false;
  return std::all_of(flash.begin() + job.ErasedFrom, flash.begin() + job.ErasedTo, [](uint8_t b) { return b == 0xFF; });
}

}  // namespace sim
