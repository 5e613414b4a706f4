#include "bench/dead_ec_worst.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "sim/sample_image.h"

namespace {

constexpr uint32_t kFlashSize = 4 * 65536;
constexpr uint64_t kBound = 60000000;
constexpr int kDiePoints = 24;  // death points spread over a clean run's port writes

struct Job {
  const char* Name;
  std::vector<std::u16string> Args;  // after EC.BIN /p /y /k /f8
  uint8_t ModeReply;
};

struct Worst {
  std::string Fault = "-";
  uint64_t PortOps = 0;
};

sim::MachineConfig BaseConfig(const std::string& volume, const Job& job) {
  sim::MachineConfig config;
  config.Ec.FlashSize = kFlashSize;
  config.Flash.assign(kFlashSize, 0x11);
  config.Volumes = {volume};
  config.Args = {u"EC.BIN", u"/p", u"/y", u"/k", u"/f8"};
  config.Args.insert(config.Args.end(), job.Args.begin(), job.Args.end());
  config.TraceEnabled = false;
  config.Ec.HasModeReply = job.ModeReply != 0;
  config.Ec.ModeReply = job.ModeReply;
  return config;
}

uint64_t Run(const sim::MachineConfig& config) {
  sim::Boot(config);
  sim::RunTarnwick();
  return sim::TheMachine().PortOps;
}

// EC port writes of a clean run: counted from the trace of one traced run.
uint64_t CleanWrites(sim::MachineConfig config) {
  config.TraceEnabled = true;
  sim::Boot(config);
  sim::RunTarnwick();
  uint64_t writes = 0;
  for (const sim::PortAccess& a : sim::TheMachine().Trace) writes += a.Write ? 1 : 0;
  return writes;
}

void Consider(Worst* worst, const std::string& fault, uint64_t ops) {
  if (ops > worst->PortOps) *worst = Worst{fault, ops};
}

}  // namespace

bool PrintDeadEcWorstCases() {
  char pattern[] = "/tmp/tarnwick-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) return false;
  const std::string volume = dir;
  const std::vector<uint8_t> image = sim::MakeSampleImage(kFlashSize, "TESTPRJ", "1.19.02.03", "2026/12/01", 1);
  sim::WriteHostFile(volume + "/EC.BIN", std::string(image.begin(), image.end()));

  const Job jobs[] = {
      {"chip erase", {}, 0}, {"sector sweep", {u"/l"}, 0}, {"boot-last", {}, 0x5A}, {"/g", {u"/g"}, 0},
      {"/e", {u"/e"}, 0},    {"/e /l", {u"/e", u"/l"}, 0}, {"dump (/r)", {u"/r"}, 0},
  };
  std::printf("\nworst run against an EC that stops answering, four-block part (bound %llu port accesses)\n",
              static_cast<unsigned long long>(kBound));
  std::printf("  %-14s %-34s %14s %12s\n", "job", "worst fault", "port accesses", "at 1 us");
  bool within = true;
  for (const Job& job : jobs) {
    const sim::MachineConfig base = BaseConfig(volume, job);
    Worst worst;
    sim::MachineConfig c = base;
    c.Ec.Present = false;
    Consider(&worst, "no EC", Run(c));
    c = base;
    c.Ec.IbfStuckForever = true;
    Consider(&worst, "IBF stuck from the start", Run(c));
    c = base;
    c.Ec.ObfNeverSet = true;
    Consider(&worst, "OBF never set", Run(c));
    const uint64_t clean = CleanWrites(base);
    for (int k = 1; k <= kDiePoints; k++) {
      c = base;
      c.Ec.IbfStuckAfterBytes = clean * k / (kDiePoints + 1);
      Consider(&worst, "EC dies after " + std::to_string(c.Ec.IbfStuckAfterBytes) + " writes", Run(c));
    }
    std::printf("  %-14s %-34s %14llu %10.1f s\n", job.Name, worst.Fault.c_str(),
                static_cast<unsigned long long>(worst.PortOps), worst.PortOps / 1e6);
    within = within && worst.PortOps <= kBound;
  }
  unlink((volume + "/EC.BIN").c_str());
  rmdir(dir);
  return within;
}
