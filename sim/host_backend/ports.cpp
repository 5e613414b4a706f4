// 8-bit port I/O on the simulated machine: straight to the EC model, with the
// trace and the power checks. This path runs hundreds of millions of times in
// a long test, so it does no more than it must.
#include "platform/platform.h"
#include "sim/host_state.h"

namespace {

// A write may have made the EC switch the machine off (0x95). Only new
// events are looked at.
void CheckPowerOff(sim::Machine& m) {
  size_t count = sim::EcModelEventCount(m.Ec);
  if (count == sim::gHost.EventsSeen) return;
  const sim::EcEvent* events = sim::EcModelEvents(m.Ec);
  size_t first = sim::gHost.EventsSeen;
  sim::gHost.EventsSeen = count;
  for (size_t i = first; i < count; ++i) {
    if (events[i].Kind == sim::EcEventKind::PowerOff) {
      sim::EndRunPoweredOff(nullptr);
      return;
    }
  }
}

// The power goes before this access. Inside RunTarnwick the run ends here;
// outside it (a test driving the ports itself) the cut is only recorded.
void CutPower() {
  sim::gMachine.PowerCut = true;
  sim::gHost.PowerCutAt = UINT64_MAX;
  sim::EndRunPoweredOff("power-cut");
}

}  // namespace

uint8_t PortRead8(uint16_t port) {
  sim::Machine& m = sim::gMachine;
  if (m.PortOps == sim::gHost.PowerCutAt) CutPower();
  ++m.PortOps;
  uint8_t value = sim::EcModelPortRead(m.Ec, port);
  if (m.Config.TraceEnabled) m.Trace.push_back(sim::PortAccess{false, port, value, m.NowUs});
  return value;
}

void PortWrite8(uint16_t port, uint8_t value) {
  sim::Machine& m = sim::gMachine;
  if (m.PortOps == sim::gHost.PowerCutAt) CutPower();
  ++m.PortOps;
  sim::EcModelPortWrite(m.Ec, port, value);
  if (m.Config.TraceEnabled) m.Trace.push_back(sim::PortAccess{true, port, value, m.NowUs});
  if (m.Config.PowerOff == sim::PowerOffMode::Halt) CheckPowerOff(m);
}
