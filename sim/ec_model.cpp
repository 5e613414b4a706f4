// The simulated EC at port level: status handshake, output queues, the ACPI
// EC RAM interface, the project/version queries and the power messages. The
// flash-mode commands are in ec_flash_interpreter.cpp.
#include "sim/ec_model.h"

#include "sim/ec_model_state.h"

namespace sim {
namespace {

constexpr uint8_t kStatusObf = 0x01;
constexpr uint8_t kStatusIbf = 0x02;
constexpr uint16_t kAcpiCommandPort = 0x66;
constexpr uint8_t kRamAdapterStatus = 0x10;
constexpr uint8_t kRamMailboxCommand = 0xF8;
constexpr uint8_t kRamMailboxData0 = 0xF9;
constexpr uint8_t kMailboxSizeProbe = 0xB1;

constexpr uint16_t kCommandPorts[4] = {0x64, 0x66, 0x6C, 0x6E};
constexpr uint16_t kDataPorts[4] = {0x60, 0x62, 0x68, 0x6A};

// Index into PortInterface/PortIsData, or 8 for any port the EC does not decode.
inline uint32_t PortSlot(uint16_t port) {
  uint32_t offset = static_cast<uint32_t>(port) - 0x60u;
  return (offset < 16u && (offset & 1u) == 0) ? offset >> 1 : 8u;
}

void ClearInterface(EcInterface* f) {
  f->Ibf = false;
  f->IbfReadsLeft = 0;
  f->QueueHead = 0;
  f->QueueCount = 0;
  f->Popped = 0;
  f->QuietStart = 0;
  f->QuietEnd = 0;
  f->Latch = 0x00;
}

void Die(EcModel* ec) {
  ec->Dead = true;
  for (EcInterface& f : ec->Interfaces) {
    f.Ibf = true;
    f.QueueCount = 0;
  }
}

uint8_t ReadStatus(EcModel* ec, EcInterface* f) {
  if (ec->SlowReadsLeft != 0) {
    --ec->SlowReadsLeft;
    return kStatusIbf;
  }
  if (f->Ibf && !ec->Dead) {
    if (f->IbfReadsLeft != 0) {
      --f->IbfReadsLeft;
    } else {
      f->Ibf = false;
    }
  }
  if (f->Ibf) return kStatusIbf;
  // The EC puts a byte out only once it has taken the host's last one.
  if (f->QueueCount == 0 || ec->Config.ObfNeverSet) return 0;
  if (f->Popped >= f->QuietStart && f->Popped < f->QuietEnd) return 0;
  return kStatusObf;
}

uint8_t ReadData(EcInterface* f) {
  if (f->QueueCount == 0) return f->Latch;
  uint8_t value = f->Queue[f->QueueHead];
  f->QueueHead = f->QueueHead + 1 == kEcOutputQueueSize ? 0 : f->QueueHead + 1;
  --f->QueueCount;
  ++f->Popped;
  f->Latch = value;
  return value;
}

uint8_t ReadRam(EcModel* ec, uint8_t address) {
  const EcConfig& config = ec->Config;
  if (address != kRamAdapterStatus || config.AcReadingsLength == 0) return ec->Ram[address];
  uint32_t length = config.AcReadingsLength <= sizeof config.AcReadings ? config.AcReadingsLength
                                                                      : sizeof config.AcReadings;
  uint8_t value = config.AcReadings[ec->AcReadIndex];
  if (ec->AcReadIndex + 1u < length) ++ec->AcReadIndex;
  return value;
}

void WriteRam(EcModel* ec, uint8_t address, uint8_t value) {
  ec->Ram[address] = value;
  if (address == kRamMailboxCommand && value == kMailboxSizeProbe) {
    ec->Ram[kRamMailboxData0] = ec->Config.SizeReply;
    ec->Ram[kRamMailboxCommand] = 0x00;  // the mailbox command is done
  }
}

void Violation(EcModel* ec, uint8_t value) { EcRecordEvent(ec, EcEventKind::ProtocolViolation, value); }

void QueueStale(EcModel* ec, EcInterface* f, uint8_t command) {
  const EcConfig& config = ec->Config;
  if (config.StaleLength == 0 || command != config.StaleBeforeCommand) return;
  uint32_t length = config.StaleLength <= kEcMaxFaultBytes ? config.StaleLength : kEcMaxFaultBytes;
  EcQueueBytes(ec, f, config.StaleBytes, length);
}

void QueueReply(EcModel* ec, const uint8_t* bytes, uint8_t length) {
  EcQueueBytes(ec, EcCommandInterface(ec), bytes, length <= 64 ? length : 64);
}

// A byte on 0x66: the ACPI commands, and, when the command interface shares
// the port, everything else too.
void AcpiCommand(EcModel* ec, uint8_t value) {
  ec->RamStep = EcRamStep::Idle;
  ec->MessageStep = EcMessageStep::Idle;
  if (value == 0x80 || value == 0x81 || value == 0x95) {
    if (ec->FlashMode) {
      Violation(ec, value);  // the flash loader serves no EC RAM and no power requests
      return;
    }
    if (value == 0x80) ec->RamStep = EcRamStep::ReadAddress;
    if (value == 0x81) ec->RamStep = EcRamStep::WriteAddress;
    if (value == 0x95) EcRecordEvent(ec, EcEventKind::PowerOff, 0);
    return;
  }
  Violation(ec, value);
}

void CommandInterfaceCommand(EcModel* ec, uint8_t value) {
  if (ec->FlashMode) {
    EcFlashCommand(ec, value);
    return;
  }
  switch (value) {
    case 0xDE: ec->ExpectDc = true; return;
    case 0x92: QueueReply(ec, ec->Config.Project, ec->Config.ProjectLength); return;
    case 0x93: QueueReply(ec, ec->Config.Version, ec->Config.VersionLength); return;
    default: Violation(ec, value); return;
  }
}

void CommandWrite(EcModel* ec, EcInterface* f, uint16_t port, uint8_t value) {
  bool commandInterface = port == ec->CommandPort;
  if (ec->ExpectDc) {
    ec->ExpectDc = false;
    if (commandInterface && value == 0xDC) {
      ec->FlashMode = true;
      ec->FlashStep = EcFlashStep::Idle;
      ec->RamStep = EcRamStep::Idle;
      ec->MessageStep = EcMessageStep::Idle;
      EcRecordEvent(ec, EcEventKind::FlashModeEntered, 0);
      return;
    }
    Violation(ec, value);  // 0xDE must be followed at once by 0xDC; the EC drops the intruder
    return;
  }
  if (commandInterface && ec->FlashMode && ec->FlashStep == EcFlashStep::Params) {
    EcFlashParameter(ec, value);
    return;
  }
  QueueStale(ec, f, value);
  bool acpiPort = port == kAcpiCommandPort;
  if (acpiPort && (!commandInterface || value == 0x80 || value == 0x81 || value == 0x95)) {
    if (commandInterface) ec->FlashStep = EcFlashStep::Idle;
    AcpiCommand(ec, value);
    return;
  }
  CommandInterfaceCommand(ec, value);
}

void DataWrite(EcModel* ec, uint16_t port, uint8_t value) {
  if (ec->ExpectDc) {
    ec->ExpectDc = false;
    Violation(ec, value);
    return;
  }
  bool acpiPort = port == kDataPorts[1];
  if (acpiPort && ec->RamStep != EcRamStep::Idle) {
    switch (ec->RamStep) {
      case EcRamStep::ReadAddress: {
        uint8_t answer = ReadRam(ec, value);
        EcQueueBytes(ec, &ec->Interfaces[0], &answer, 1);
        ec->RamStep = EcRamStep::Idle;
        return;
      }
      case EcRamStep::WriteAddress:
        ec->RamAddress = value;
        ec->RamStep = EcRamStep::WriteValue;
        return;
      default:
        WriteRam(ec, ec->RamAddress, value);
        ec->RamStep = EcRamStep::Idle;
        return;
    }
  }
  if (acpiPort && ec->MessageStep != EcMessageStep::Idle) {
    if (ec->MessageStep == EcMessageStep::PowerOnZero) {
      if (value == 0x00) {
        ec->MessageStep = EcMessageStep::PowerOnSeconds;
      } else {
        ec->MessageStep = EcMessageStep::Idle;
        Violation(ec, value);
      }
      return;
    }
    ec->MessageStep = EcMessageStep::Idle;
    EcRecordEvent(ec, EcEventKind::AutoPowerOnArmed, value);
    return;
  }
  bool commandInterface = port == ec->CommandDataPort;
  if (commandInterface && ec->FlashMode && ec->FlashStep == EcFlashStep::Programming) {
    EcFlashData(ec, value);
    return;
  }
  if (acpiPort && value == 0x97 && !ec->FlashMode) {
    ec->MessageStep = EcMessageStep::PowerOnZero;
    return;
  }
  Violation(ec, value);
}

}  // namespace

void EcRecordEvent(EcModel* ec, EcEventKind kind, uint32_t value) {
  if (ec->EventCount >= kEcMaxEvents) {
    ++ec->EventsDropped;
    return;
  }
  EcEvent& event = ec->Events[ec->EventCount++];
  event.Kind = kind;
  event.Value = value;
  event.PortOp = ec->PortOps;
}

namespace {

// Appends count bytes to the interface's ring: bytes[i], or value for every
// byte when bytes is nullptr. What does not fit is counted and dropped.
void QueueAppend(EcModel* ec, EcInterface* f, const uint8_t* bytes, uint8_t value, uint32_t count) {
  uint32_t room = kEcOutputQueueSize - f->QueueCount;
  if (count > room) {
    ec->QueueOverflows += count - room;
    count = room;
  }
  uint32_t tail = f->QueueHead + f->QueueCount;
  if (tail >= kEcOutputQueueSize) tail -= kEcOutputQueueSize;
  for (uint32_t i = 0; i < count; ++i) {
    f->Queue[tail] = bytes != nullptr ? bytes[i] : value;
    tail = tail + 1 == kEcOutputQueueSize ? 0 : tail + 1;
  }
  f->QueueCount += count;
}

}  // namespace

void EcQueueBytes(EcModel* ec, EcInterface* f, const uint8_t* bytes, uint32_t count) {
  QueueAppend(ec, f, bytes, 0, count);
}

void EcQueueFill(EcModel* ec, EcInterface* f, uint8_t value, uint32_t count) {
  QueueAppend(ec, f, nullptr, value, count);
}

uint8_t EcSizeReplyFor(uint32_t flashSize) {
  if (flashSize >= 4 * 65536) return 0x80;
  if (flashSize >= 3 * 65536) return 0x40;
  return 0x20;
}

void EcConfigDefaults(EcConfig* config) {
  *config = EcConfig{};
  config->Present = true;
  config->CommandPortSet = 1;
  config->FlashSize = 3 * 65536;
  config->SizeReply = 0x40;
  const char project[] = "TESTPRJ$";
  const char version[] = "01.00$";
  for (size_t i = 0; i + 1 < sizeof project; ++i) config->Project[i] = static_cast<uint8_t>(project[i]);
  config->ProjectLength = sizeof project - 1;
  for (size_t i = 0; i + 1 < sizeof version; ++i) config->Version[i] = static_cast<uint8_t>(version[i]);
  config->VersionLength = sizeof version - 1;
  config->HasModeReply = true;
  config->ModeReply = 0x00;
  config->Id[0] = 0xEF;
  config->Id[1] = 0x40;
  config->Id[2] = 0x13;
  config->Id[3] = 0x00;
  config->IdLength = 4;
  config->EraseCompletion[0] = 0xF8;
  config->EraseCompletionLength = 1;
  config->AcReadingsLength = 0;
  config->IbfBusyReads = 0;
}

void EcModelReset(EcModel* ec, const EcConfig* config, const uint8_t* flashBytes, size_t flashLength) {
  ec->Config = *config;
  EcConfig& c = ec->Config;
  if (c.FlashSize < 65536) c.FlashSize = 65536;
  if (c.FlashSize > kEcMaxFlashSize) c.FlashSize = kEcMaxFlashSize;
  c.FlashSize &= ~0xFFFFu;
  if (c.CommandPortSet > 3) c.CommandPortSet = 1;
  if (c.FlashFaultCount > kEcMaxFaultBytes) c.FlashFaultCount = kEcMaxFaultBytes;
  if (c.IdLength > sizeof c.Id) c.IdLength = sizeof c.Id;
  if (c.EraseCompletionLength > sizeof c.EraseCompletion) c.EraseCompletionLength = sizeof c.EraseCompletion;

  ec->PortOps = 0;
  ec->HostWrites = 0;
  ec->DataWrites = 0;
  ec->Dead = false;
  ec->SlowReadsLeft = 0;
  if (c.SlowSpellCount > kEcMaxFaultBytes) c.SlowSpellCount = kEcMaxFaultBytes;
  ClearInterface(&ec->Interfaces[0]);
  ClearInterface(&ec->Interfaces[1]);
  ec->CommandInterface = c.CommandPortSet == 1 ? 0 : 1;
  ec->CommandPort = kCommandPorts[c.CommandPortSet];
  ec->CommandDataPort = kDataPorts[c.CommandPortSet];
  for (uint32_t slot = 0; slot < 8; ++slot) {
    ec->PortInterface[slot] = kEcNoInterface;
    ec->PortIsData[slot] = false;
  }
  ec->PortInterface[PortSlot(0x66)] = 0;
  ec->PortInterface[PortSlot(0x62)] = 0;
  ec->PortIsData[PortSlot(0x62)] = true;
  ec->PortInterface[PortSlot(kCommandPorts[c.CommandPortSet])] = ec->CommandInterface;
  ec->PortInterface[PortSlot(kDataPorts[c.CommandPortSet])] = ec->CommandInterface;
  ec->PortIsData[PortSlot(kDataPorts[c.CommandPortSet])] = true;

  for (uint32_t i = 0; i < 256; ++i) ec->Ram[i] = 0x00;
  ec->Ram[kRamAdapterStatus] = 0x01;  // adapter present unless AcReadings say otherwise
  ec->AcReadIndex = 0;
  ec->RamStep = EcRamStep::Idle;
  ec->RamAddress = 0;
  ec->MessageStep = EcMessageStep::Idle;

  ec->FlashMode = false;
  ec->ExpectDc = false;
  ec->FlashStep = EcFlashStep::Idle;
  ec->FlashCommand = 0;
  ec->ParamCount = 0;
  ec->ParamsWanted = 0;
  for (uint8_t& p : ec->Params) p = 0;
  ec->ProgramAddress = 0;
  ec->OutOfRangeReported = false;
  for (uint32_t& n : ec->FaultEraseCount) n = 0;

  ec->FlashSize = c.FlashSize;
  for (uint32_t i = 0; i < kEcMaxFlashSize; ++i) {
    ec->Flash[i] = (i < flashLength && i < c.FlashSize) ? flashBytes[i] : 0xFF;
    ec->LastProgrammed[i] = 0;
  }
  EcFlashApplyResetFaults(ec);

  ec->EventCount = 0;
  ec->EventsDropped = 0;
  ec->QueueOverflows = 0;
  if (c.IbfStuckForever) Die(ec);
}

uint8_t EcModelPortRead(EcModel* ec, uint16_t port) {
  ++ec->PortOps;
  uint32_t slot = PortSlot(port);
  if (slot >= 8 || !ec->Config.Present) return 0xFF;
  uint8_t which = ec->PortInterface[slot];
  if (which == kEcNoInterface) return 0xFF;
  EcInterface* f = &ec->Interfaces[which];
  return ec->PortIsData[slot] ? ReadData(f) : ReadStatus(ec, f);
}

void EcModelPortWrite(EcModel* ec, uint16_t port, uint8_t value) {
  ++ec->PortOps;
  uint32_t slot = PortSlot(port);
  if (slot >= 8 || !ec->Config.Present) return;
  uint8_t which = ec->PortInterface[slot];
  if (which == kEcNoInterface) return;
  EcInterface* f = &ec->Interfaces[which];
  bool data = ec->PortIsData[slot];
  ++ec->HostWrites;
  ec->DataWrites += data;
  if (ec->Dead) return;
  const EcConfig& c = ec->Config;
  if ((f->Ibf || ec->SlowReadsLeft != 0) && c.DropWritesWhileIbf) {
    // The EC is still busy with the previous byte; this one is lost.
  } else {
    f->Ibf = true;
    f->IbfReadsLeft = data ? c.IbfBusyReads : c.IbfBusyReads + c.IbfBusyCommandReads;
    if (data) {
      DataWrite(ec, port, value);
    } else {
      CommandWrite(ec, f, port, value);
    }
  }
  if ((c.IbfStuckAfterBytes != 0 && ec->HostWrites >= c.IbfStuckAfterBytes) ||
      (c.IbfStuckAfterDataBytes != 0 && ec->DataWrites >= c.IbfStuckAfterDataBytes)) {
    Die(ec);
  }
  for (uint32_t i = 0; i < c.SlowSpellCount; ++i) {
    if (c.SlowSpells[i].AfterWrites == ec->HostWrites) ec->SlowReadsLeft = c.SlowSpells[i].Reads;
  }
}

const uint8_t* EcModelFlash(const EcModel* ec) { return ec->Flash; }
uint32_t EcModelFlashSize(const EcModel* ec) { return ec->FlashSize; }
bool EcModelInFlashMode(const EcModel* ec) { return ec->FlashMode; }
size_t EcModelEventCount(const EcModel* ec) { return ec->EventCount; }
const EcEvent* EcModelEvents(const EcModel* ec) { return ec->Events; }
uint32_t EcModelEventsDropped(const EcModel* ec) { return ec->EventsDropped; }
uint8_t EcModelRam(const EcModel* ec, uint8_t address) { return ec->Ram[address]; }
uint64_t EcModelLastProgrammed(const EcModel* ec, uint32_t address) {
  return address < kEcMaxFlashSize ? ec->LastProgrammed[address] : 0;
}
uint64_t EcModelPortOps(const EcModel* ec) { return ec->PortOps; }
uint32_t EcModelPendingOutput(const EcModel* ec) {
  return ec->Interfaces[0].QueueCount + (ec->CommandInterface != 0 ? ec->Interfaces[1].QueueCount : 0);
}
bool EcModelDead(const EcModel* ec) { return ec->Dead; }

}  // namespace sim
