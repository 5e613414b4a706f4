// The port channel: which ports each primitive uses and exactly how many
// status reads its bounded waits make.
#include <gtest/gtest.h>

#include <vector>

#include "app/option_state.h"
#include "ec/ec_channel.h"
#include "sim/machine.h"

namespace {

using sim::PortAccess;

void BootWith(const sim::MachineConfig& config, uint8_t portSet = 1) {
  sim::Boot(config);
  ResetOptionState();
  SelectEcPorts(portSet);
}

const std::vector<PortAccess>& Trace() { return sim::TheMachine().Trace; }

// Counts the reads of port from the start of the trace up to the first write.
size_t ReadsBeforeFirstWrite(uint16_t port) {
  size_t n = 0;
  for (const PortAccess& a : Trace()) {
    if (a.Write) break;
    if (a.Port == port) n++;
  }
  return n;
}

std::vector<PortAccess> Writes() {
  std::vector<PortAccess> out;
  for (const PortAccess& a : Trace())
    if (a.Write) out.push_back(a);
  return out;
}

TEST(EcChannel, PortSetsMapIndexToPorts) {
  struct Case {
    uint8_t Index;
    uint8_t Command;
    uint8_t Data;
  } cases[] = {{0, 0x64, 0x60}, {1, 0x66, 0x62}, {2, 0x6C, 0x68}, {3, 0x6E, 0x6A}, {7, 0x66, 0x62}, {9, 0x66, 0x62}};
  for (const Case& c : cases) {
    ResetOptionState();
    SelectEcPorts(c.Index);
    EXPECT_EQ(gEcBoard.Ports.Index, c.Index);
    EXPECT_EQ(gEcBoard.Ports.CommandPort, c.Command) << int(c.Index);
    EXPECT_EQ(gEcBoard.Ports.DataPort, c.Data) << int(c.Index);
  }
}

TEST(EcChannel, SendCommandWritesAfterExactly100002ReadsOfAStuckIbf) {
  sim::MachineConfig config;
  config.Ec.IbfStuckForever = true;
  BootWith(config);
  EcSendCommand(0x92);
  ASSERT_EQ(Trace().size(), 100003u);
  EXPECT_EQ(ReadsBeforeFirstWrite(0x66), 100002u);
  EXPECT_TRUE(Trace().back().Write);
  EXPECT_EQ(Trace().back().Port, 0x66);
  EXPECT_EQ(Trace().back().Value, 0x92);
}

TEST(EcChannel, WriteDataWaitsLikeSendCommandThenUsesTheDataPort) {
  sim::MachineConfig config;
  config.Ec.IbfStuckForever = true;
  BootWith(config, 2);
  EXPECT_FALSE(EcWriteDataChecked(0x5A));
  EXPECT_EQ(ReadsBeforeFirstWrite(0x6C), 100002u);
  EXPECT_EQ(Trace().back().Port, 0x68);
}

TEST(EcChannel, PowerOffWritesAfterExactly100001ReadsOfAStuckIbf) {
  sim::MachineConfig config;
  config.Ec.IbfStuckForever = true;
  BootWith(config, 0);  // the fixed ports ignore the selected set
  EcRequestPowerOff();
  ASSERT_EQ(Trace().size(), 100002u);
  EXPECT_EQ(ReadsBeforeFirstWrite(0x66), 100001u);
  EXPECT_EQ(Trace().back().Port, 0x66);
  EXPECT_EQ(Trace().back().Value, 0x95);
}

TEST(EcChannel, ReadByteWithoutObfMakes100001StatusReadsThenOneDataRead) {
  sim::MachineConfig config;
  config.Ec.ObfNeverSet = true;
  BootWith(config);
  uint8_t value = 0;
  EXPECT_FALSE(EcReadByte(&value));
  ASSERT_EQ(Trace().size(), 100002u);
  for (size_t i = 0; i < 100001; i++) ASSERT_EQ(Trace()[i].Port, 0x66);
  EXPECT_FALSE(Trace().back().Write);
  EXPECT_EQ(Trace().back().Port, 0x62);
}

TEST(EcChannel, NoEcAnsweringReadsAllOnes) {
  sim::MachineConfig config;
  config.Ec.Present = false;
  BootWith(config);
  uint8_t value = 0;
  EXPECT_TRUE(EcReadByte(&value));  // OBF looks set
  EXPECT_EQ(value, 0xFF);
  EXPECT_EQ(EcRamRead(0x10), 0xFF);
}

TEST(EcChannel, RamReadWithoutObfWaitsOutItsBoundThenReadsTheDataPort) {
  sim::MachineConfig config;
  config.Ec.ObfNeverSet = true;
  BootWith(config);
  (void)EcRamRead(0xF9);
  // The last wait: everything after the second write up to the final read.
  const auto& trace = Trace();
  size_t lastWrite = 0;
  for (size_t i = 0; i < trace.size(); i++)
    if (trace[i].Write) lastWrite = i;
  EXPECT_EQ(trace.size() - lastWrite - 2, 100001u);
  EXPECT_EQ(trace.back().Port, 0x62);
  EXPECT_FALSE(trace.back().Write);
}

TEST(EcChannel, FixedPortOperationsIgnoreTheSelectedSet) {
  for (uint8_t set : {0, 2, 3}) {
    sim::MachineConfig config;
    config.Ec.CommandPortSet = set;
    BootWith(config, set);
    EcRamWrite(0xF9, 0x20);
    (void)EcRamRead(0x10);
    EcArmAutoPowerOn(5);
    EcRequestPowerOff();
    for (const PortAccess& a : Trace()) {
      EXPECT_TRUE(a.Port == 0x66 || a.Port == 0x62) << "set " << int(set) << " port " << a.Port;
    }
  }
}

TEST(EcChannel, ArmAutoPowerOnSendsEverythingToTheDataPort) {
  for (uint8_t seconds : {0, 5, 7}) {
    BootWith(sim::MachineConfig());
    EcArmAutoPowerOn(seconds);
    std::vector<PortAccess> writes = Writes();
    ASSERT_EQ(writes.size(), 3u);
    const uint8_t expected[] = {0x97, 0x00, seconds};
    for (size_t i = 0; i < 3; i++) {
      EXPECT_EQ(writes[i].Port, 0x62);
      EXPECT_EQ(writes[i].Value, expected[i]);
    }
    for (const PortAccess& a : Trace())
      if (a.Port == 0x66) EXPECT_FALSE(a.Write);
  }
}

TEST(EcChannel, RamWriteAndReadReachTheEcRam) {
  BootWith(sim::MachineConfig());
  EcRamWrite(0x40, 0xA7);
  EXPECT_EQ(EcRamRead(0x40), 0xA7);
  std::vector<PortAccess> writes = Writes();
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes[0].Port, 0x66);
  EXPECT_EQ(writes[0].Value, 0x81);
  EXPECT_EQ(writes[1].Port, 0x62);
  EXPECT_EQ(writes[1].Value, 0x40);
  EXPECT_EQ(writes[2].Value, 0xA7);
}

}  // namespace
