#include "bench/dead_ec_worst.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/dead_ec_catalogue.h"
#include "sim/machine.h"

namespace {

constexpr int kDiePoints = 24;  // death points spread over a clean run's port writes

struct Worst {
  std::string Fault = "-";
  uint64_t PortOps = 0;
};

uint64_t Run(const sim::MachineConfig& config) {
  sim::Boot(config);
  sim::RunTarnwick();
  return sim::TheMachine().PortOps;
}

// EC port writes of a clean run: counted from the trace of one traced run.
uint64_t CleanWrites(const std::string& volume, const sim::DeadEcJob& job) {
  sim::MachineConfig config = sim::DeadEcMachine(volume, job, sim::DeadEcFault{});
  config.TraceEnabled = true;
  sim::Boot(config);
  sim::RunTarnwick();
  uint64_t writes = 0;
  for (const sim::PortAccess& a : sim::TheMachine().Trace) writes += a.Write ? 1 : 0;
  return writes;
}

void PrintRow(const char* job, const Worst& worst) {
  std::printf("  %-14s %-34s %14llu %10.1f s\n", job, worst.Fault.c_str(),
              static_cast<unsigned long long>(worst.PortOps), worst.PortOps / 1e6);
}

}  // namespace

bool PrintDeadEcWorstCases() {
  char pattern[] = "/tmp/tarnwick-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) return false;
  const std::string volume = dir;
  sim::WriteDeadEcImage(volume);

  std::printf("\nworst run against an EC that stops answering, four-block part (bound %llu port accesses)\n",
              static_cast<unsigned long long>(sim::kDeadEcPortOpsBound));
  std::printf("  %-14s %-34s %14s %12s\n", "job", "worst fault", "port accesses", "at 1 us");
  bool within = true;
  Worst noEc;
  for (const sim::DeadEcJob& job : sim::DeadEcJobs()) {
    const uint64_t clean = CleanWrites(volume, job);
    std::vector<uint64_t> deaths;
    for (int k = 1; k <= kDiePoints; k++) deaths.push_back(clean * k / (kDiePoints + 1));
    Worst worst;
    for (const sim::DeadEcFault& fault : sim::DeadEcFaults(deaths)) {
      const uint64_t ops = Run(sim::DeadEcMachine(volume, job, fault));
      if (ops > worst.PortOps) worst = Worst{fault.Name, ops};
      if (fault.Name == "no EC" && job.ErasedTo == 0 && !job.Dump && ops > noEc.PortOps) {
        noEc = Worst{std::string("no EC (") + job.Name + ")", ops};
      }
    }
    PrintRow(job.Name, worst);
    within = within && worst.PortOps < sim::kDeadEcPortOpsBound;
  }
  PrintRow("any update", noEc);
  within = within && noEc.PortOps <= sim::kNoEcUpdatePortOps;
  for (const char* name : {"ECRom12071030.bad", "EC.BIN"}) unlink((volume + "/" + name).c_str());
  rmdir(dir);
  return within;
}
