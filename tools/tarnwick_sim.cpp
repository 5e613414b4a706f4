// tarnwick-sim: runs tarnwick on the simulated machine (placeholder while the
// command line is being built).
#include <cstdio>

#include "sim/machine.h"

int main() {
  sim::MachineConfig config;
  sim::Boot(config);
  EfiStatus status = sim::RunTarnwick();
  std::fputs(sim::TheMachine().Screen.PlainUtf8().c_str(), stdout);
  return EfiIsError(status) ? static_cast<int>(status & 0xFF) : 0;
}
