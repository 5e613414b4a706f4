// The simulated EC at port level: status handshake, output queues, the ACPI
// EC RAM interface, the project/version queries and the power messages. The
// flash-mode commands are in ec_flash_interpreter.cpp.
#include "sim/ec_model.h"

#include "sim/ec_model_state.h"

namespace sim {
namespace {

constexpr uint8_t kStatusObf = 0x01;
constexpr uint8_t kStatusIbf = 0x02;
constexpr uint8_t kRamAdapterStatus = 0x10;
constexpr uint8_t kRamMailboxCommand = 0xF8;
constexpr uint8_t kRamMailboxData0 = 0xF9;
constexpr uint8_t kMailboxSizeProbe = 0xB1;

// What answers on a port: kEcNoInterface, or an interface (plus kEcDataPortRole).
inline uint8_t PortRole(const EcModel* ec, uint16_t port) {
  return port < 256 ? ec->PortRole[port] : kEcNoInterface;
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
  bool acpiPort = port == EC_FIXED_COMMAND_PORT;
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
  bool acpiPort = port == EC_FIXED_DATA_PORT;
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
  config->ProjectFromFlash = true;
  config->VersionFromFlash = true;
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

namespace {

// The reply to a query from the flash's first tag of keyword (see
// EcConfig::ProjectFromFlash); the reply stays as it was without one.
void ReplyFromTag(const EcModel* ec, const char* keyword, bool skipOne, uint8_t* reply, uint8_t* length) {
  constexpr uint32_t kMaxReply = 16;
  size_t keywordLength = 0;
  while (keyword[keywordLength] != 0) ++keywordLength;
  const uint8_t* flash = ec->Flash;
  const uint32_t size = ec->FlashSize;
  for (uint32_t at = 0; at + keywordLength <= size; ++at) {
    size_t k = 0;
    while (k < keywordLength && flash[at + k] == static_cast<uint8_t>(keyword[k])) ++k;
    if (k != keywordLength) continue;
    uint32_t value = at + static_cast<uint32_t>(keywordLength);
    if (skipOne && value + 2 <= size && flash[value] == '1' && flash[value + 1] == '.') value += 2;
    if (value >= size || flash[value] == 0x00) return;  // an empty tag counts as none
    uint8_t count = 0;
    while (count < kMaxReply && value + count < size) {
      reply[count] = flash[value + count];
      if (reply[count++] == '$') break;
    }
    *length = count;
    return;
  }
}

}  // namespace

void EcModelReset(EcModel* ec, const EcConfig* config, const uint8_t* flashBytes, size_t flashLength) {
  ec->Config = *config;
  EcConfig& c = ec->Config;
  if (c.FlashSize < 65536) c.FlashSize = 65536;
  if (c.FlashSize > kEcMaxFlashSize) c.FlashSize = kEcMaxFlashSize;
  c.FlashSize &= ~0xFFFFu;
  if (c.CommandPortSet >= kEcPortSetCount) c.CommandPortSet = kEcDefaultPortSet;
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
  const EcPortPair& ports = kEcPortSets[c.CommandPortSet];
  ec->CommandPort = ports.Command;
  ec->CommandDataPort = ports.Data;
  ec->CommandInterface = ports.Command == EC_FIXED_COMMAND_PORT && ports.Data == EC_FIXED_DATA_PORT ? 0 : 1;
  for (uint8_t& role : ec->PortRole) role = kEcNoInterface;
  ec->PortRole[EC_FIXED_COMMAND_PORT] = 0;
  ec->PortRole[EC_FIXED_DATA_PORT] = 0 | kEcDataPortRole;
  ec->PortRole[ports.Command] = ec->CommandInterface;
  ec->PortRole[ports.Data] = ec->CommandInterface | kEcDataPortRole;

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
  // Only the flash's own bytes: nothing reads or writes past FlashSize.
  for (uint32_t i = 0; i < c.FlashSize; ++i) {
    ec->Flash[i] = i < flashLength ? flashBytes[i] : 0xFF;
    ec->LastProgrammed[i] = 0;
  }
  EcFlashApplyResetFaults(ec);
  if (c.ProjectFromFlash) ReplyFromTag(ec, "PRJ:", false, c.Project, &c.ProjectLength);
  if (c.VersionFromFlash) ReplyFromTag(ec, "VER:", true, c.Version, &c.VersionLength);

  ec->EventCount = 0;
  ec->EventsDropped = 0;
  ec->QueueOverflows = 0;
  if (c.IbfStuckForever) Die(ec);
}

uint8_t EcModelPortRead(EcModel* ec, uint16_t port) {
  ++ec->PortOps;
  uint8_t role = PortRole(ec, port);
  if (role == kEcNoInterface || !ec->Config.Present) return 0xFF;
  EcInterface* f = &ec->Interfaces[role & ~kEcDataPortRole];
  return (role & kEcDataPortRole) != 0 ? ReadData(f) : ReadStatus(ec, f);
}

void EcModelPortWrite(EcModel* ec, uint16_t port, uint8_t value) {
  ++ec->PortOps;
  uint8_t role = PortRole(ec, port);
  if (role == kEcNoInterface || !ec->Config.Present) return;
  EcInterface* f = &ec->Interfaces[role & ~kEcDataPortRole];
  bool data = (role & kEcDataPortRole) != 0;
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
  return address < ec->FlashSize ? ec->LastProgrammed[address] : 0;
}
uint64_t EcModelPortOps(const EcModel* ec) { return ec->PortOps; }
uint32_t EcModelPendingOutput(const EcModel* ec) {
  return ec->Interfaces[0].QueueCount + (ec->CommandInterface != 0 ? ec->Interfaces[1].QueueCount : 0);
}
bool EcModelDead(const EcModel* ec) { return ec->Dead; }

}  // namespace sim
