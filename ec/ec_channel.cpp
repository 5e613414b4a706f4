#include "ec/ec_channel.h"

#include "platform/platform.h"

bool EcWaitIbfClear(uint16_t statusPort, uint32_t maxReads) {
  for (uint32_t i = 0; i < maxReads; i++) {
    if ((PortRead8(statusPort) & EC_STATUS_IBF) == 0) return true;
  }
  return false;
}

bool EcWaitObfSet(uint16_t statusPort, uint32_t maxReads) {
  for (uint32_t i = 0; i < maxReads; i++) {
    if ((PortRead8(statusPort) & EC_STATUS_OBF) != 0) return true;
  }
  return false;
}

void SelectEcPorts(uint8_t index) {
  EcPortSet& ports = gEcBoard.Ports;
  ports.Index = index;
  const EcPortPair& pair = index < kEcPortSetCount ? kEcPortSets[index] : kEcPortSets[kEcDefaultPortSet];
  ports.CommandPort = pair.Command;
  ports.DataPort = pair.Data;
}

namespace {

// Waits for IBF clear within the send bound; a wait that runs out is counted.
bool AwaitIbfClearCounted(uint16_t statusPort) {
  if (EcWaitIbfClear(statusPort, kEcSendPollReads)) return true;
  gEcBoard.SendsNotTaken++;
  return false;
}

}  // namespace

bool EcSendCommandChecked(uint8_t value) {
  const EcPortSet& ports = gEcBoard.Ports;
  const bool cleared = AwaitIbfClearCounted(ports.CommandPort);
  PortWrite8(ports.CommandPort, value);
  return cleared;
}

bool EcAwaitLastByteTaken() { return AwaitIbfClearCounted(gEcBoard.Ports.CommandPort); }

void EcSendCommand(uint8_t value) { (void)EcSendCommandChecked(value); }

bool EcReadByte(uint8_t* value) {
  const EcPortSet& ports = gEcBoard.Ports;
  bool came = EcWaitObfSet(ports.CommandPort, kEcReadPollReads);
  *value = PortRead8(ports.DataPort);
  return came;
}

bool EcWriteDataChecked(uint8_t value) {
  const EcPortSet& ports = gEcBoard.Ports;
  const bool cleared = AwaitIbfClearCounted(ports.CommandPort);
  PortWrite8(ports.DataPort, value);
  return cleared;
}

void EcWriteData(uint8_t value) { (void)EcWriteDataChecked(value); }

uint8_t EcRawReadDataPort() { return PortRead8(gEcBoard.Ports.DataPort); }

void DrainEcOutput() {
  uint8_t discarded;
  for (uint32_t i = 0; i < kEcDrainLimit; i++) {
    if (!EcReadByte(&discarded)) return;
  }
}

void EcDiscardStaleOutput() {
  const EcPortSet& ports = gEcBoard.Ports;
  // The EC may still be taking the last byte sent; what it answers to that
  // shows only afterwards. One status read serves both looks on a quiet EC.
  uint8_t status = PortRead8(ports.CommandPort);
  for (uint32_t i = 1; i < kEcSendPollReads && (status & EC_STATUS_IBF) != 0; i++) {
    status = PortRead8(ports.CommandPort);
  }
  for (uint32_t i = 0; i < kEcStaleLimit && (status & EC_STATUS_OBF) != 0; i++) {
    (void)PortRead8(ports.DataPort);
    status = PortRead8(ports.CommandPort);
  }
}

uint8_t EcRawReadFixedPort(uint16_t port) { return PortRead8(port); }

namespace {

void FixedWrite(uint16_t port, uint8_t value) {
  (void)EcWaitIbfClear(EC_FIXED_COMMAND_PORT, kEcReadPollReads);  // the byte goes out either way
  PortWrite8(port, value);
}

}  // namespace

void EcRamWrite(uint8_t address, uint8_t value) {
  FixedWrite(EC_FIXED_COMMAND_PORT, EC_RAM_WRITE);
  FixedWrite(EC_FIXED_DATA_PORT, address);
  FixedWrite(EC_FIXED_DATA_PORT, value);
}

uint8_t EcRamRead(uint8_t address) {
  FixedWrite(EC_FIXED_COMMAND_PORT, EC_RAM_READ);
  FixedWrite(EC_FIXED_DATA_PORT, address);
  (void)EcWaitObfSet(EC_FIXED_COMMAND_PORT, kEcReadPollReads);  // the reply is read either way
  return PortRead8(EC_FIXED_DATA_PORT);
}

void EcArmAutoPowerOn(uint8_t seconds) {
  FixedWrite(EC_FIXED_DATA_PORT, EC_AUTO_POWER_ON);
  FixedWrite(EC_FIXED_DATA_PORT, 0x00);
  FixedWrite(EC_FIXED_DATA_PORT, seconds);
}

void EcRequestPowerOff() { FixedWrite(EC_FIXED_COMMAND_PORT, EC_POWER_OFF); }
