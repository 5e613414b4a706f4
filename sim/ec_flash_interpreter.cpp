// The simulated EC's flash loader: the commands it takes between 0xDE 0xDC
// and 0xFE (or 0xFC), over a NOR flash (erase sets 0xFF, programming can only
// clear bits), with the per-address faults of the configuration.
#include "sim/ec_model_state.h"

namespace sim {
namespace {

constexpr uint32_t kBlockSize = 65536;
constexpr uint32_t kSectorSize = 1024;

void ReportOutOfRange(EcModel* ec, uint32_t value) {
  if (ec->OutOfRangeReported) return;
  ec->OutOfRangeReported = true;
  EcRecordEvent(ec, EcEventKind::OutOfRange, value);
}

// Erases [start, start + length) of the flash, which the caller has checked.
void Erase(EcModel* ec, uint32_t start, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) ec->Flash[start + i] = 0xFF;
  const EcConfig& c = ec->Config;
  for (uint32_t f = 0; f < c.FlashFaultCount; ++f) {
    const EcFlashFault& fault = c.FlashFaults[f];
    if (fault.Address < start || fault.Address - start >= length) continue;
    ++ec->FaultEraseCount[f];
    uint8_t cell = static_cast<uint8_t>(~fault.StuckZeroMask);
    if (fault.EraseLeavesInPass > 0 && ec->FaultEraseCount[f] == static_cast<uint32_t>(fault.EraseLeavesInPass)) {
      cell = 0x00;
    }
    ec->Flash[fault.Address] = cell;
  }
}

void ChipErase(EcModel* ec) {
  Erase(ec, 0, ec->FlashSize);
  const EcConfig& c = ec->Config;
  // Only the larger parts (three or four blocks) report the end of a chip
  // erase; the small ones finish within the host's timed wait.
  if (ec->FlashSize < 3 * kBlockSize) return;
  EcInterface* f = EcCommandInterface(ec);
  uint64_t first = f->Popped + f->QueueCount;
  EcQueueBytes(ec, f, c.EraseCompletion, c.EraseCompletionLength);
  if (c.ChipEraseNoObf) {
    f->QuietStart = first;
    f->QuietEnd = first + c.EraseCompletionLength;
  }
}

void SectorErase(EcModel* ec, uint32_t address) {
  uint32_t start = address & ~(kSectorSize - 1);
  if (start >= ec->FlashSize) {
    ReportOutOfRange(ec, address);
    return;
  }
  Erase(ec, start, kSectorSize);
}

void QueueBlock(EcModel* ec, uint8_t block) {
  EcInterface* f = EcCommandInterface(ec);
  uint32_t start = static_cast<uint32_t>(block) * kBlockSize;
  uint32_t room = kEcOutputQueueSize - f->QueueCount;
  uint32_t tail = f->QueueHead + f->QueueCount;
  if (tail >= kEcOutputQueueSize) tail -= kEcOutputQueueSize;
  if (start >= ec->FlashSize) {
    ReportOutOfRange(ec, block);
    EcQueueFill(ec, f, 0xFF, kBlockSize);
    return;
  }
  EcQueueBytes(ec, f, ec->Flash + start, kBlockSize);
  // Cells that read back wrong: patch their copies in the queue.
  const EcConfig& c = ec->Config;
  for (uint32_t i = 0; i < c.FlashFaultCount; ++i) {
    const EcFlashFault& fault = c.FlashFaults[i];
    if (!fault.ReadsWrong || fault.Address < start || fault.Address - start >= kBlockSize) continue;
    uint32_t offset = fault.Address - start;
    if (offset >= room) continue;  // that byte did not fit into the queue
    uint32_t at = tail + offset;
    if (at >= kEcOutputQueueSize) at -= kEcOutputQueueSize;
    f->Queue[at] ^= 0x01;
  }
}

void StartParams(EcModel* ec, uint8_t command, uint8_t wanted) {
  ec->FlashStep = EcFlashStep::Params;
  ec->FlashCommand = command;
  ec->ParamCount = 0;
  ec->ParamsWanted = wanted;
}

void StartProgramming(EcModel* ec, uint32_t address) {
  ec->FlashStep = EcFlashStep::Programming;
  ec->ProgramAddress = address;
}

void LeaveFlashMode(EcModel* ec) {
  ec->FlashMode = false;
  ec->FlashStep = EcFlashStep::Idle;
  EcRecordEvent(ec, EcEventKind::FlashModeLeft, 0);
}

// All parameters of the pending command are in.
void RunWithParams(EcModel* ec) {
  const uint8_t* p = ec->Params;
  ec->FlashStep = EcFlashStep::Idle;
  switch (ec->FlashCommand) {
    case 0x01: ChipErase(ec); return;
    case 0x02:
      StartProgramming(ec, static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                               static_cast<uint32_t>(p[2]) << 8 | p[3]);
      return;
    case 0x03: QueueBlock(ec, p[0]); return;
    case 0x05:
      SectorErase(ec, static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
      return;
    case 0xFC:
      LeaveFlashMode(ec);
      EcRecordEvent(ec, EcEventKind::WatchdogReset, p[0]);
      return;
    default: return;
  }
}

}  // namespace

void EcFlashCommand(EcModel* ec, uint8_t value) {
  ec->FlashStep = EcFlashStep::Idle;
  ec->OutOfRangeReported = false;
  const EcConfig& c = ec->Config;
  switch (value) {
    case 0xF0:
      if (c.HasModeReply) EcQueueBytes(ec, EcCommandInterface(ec), &c.ModeReply, 1);
      return;
    case 0x04: EcQueueBytes(ec, EcCommandInterface(ec), c.Id, c.IdLength); return;
    case 0x01: StartParams(ec, value, 4); return;
    case 0x02: StartParams(ec, value, 4); return;
    case 0x03: StartParams(ec, value, 1); return;
    case 0x05: StartParams(ec, value, 3); return;
    case 0x06: StartProgramming(ec, 0); return;
    case 0xFC: StartParams(ec, value, 1); return;
    case 0xFE: LeaveFlashMode(ec); return;
    default: EcRecordEvent(ec, EcEventKind::ProtocolViolation, value); return;
  }
}

void EcFlashParameter(EcModel* ec, uint8_t value) {
  ec->Params[ec->ParamCount++] = value;
  if (ec->ParamCount >= ec->ParamsWanted) RunWithParams(ec);
}

void EcFlashData(EcModel* ec, uint8_t value) {
  uint32_t address = ec->ProgramAddress;
  if (address >= ec->FlashSize) {
    ReportOutOfRange(ec, address);
    if (address != 0xFFFFFFFFu) ec->ProgramAddress = address + 1;
    return;
  }
  ec->ProgramAddress = address + 1;
  uint8_t cell = ec->Flash[address] & value;
  const EcConfig& c = ec->Config;
  for (uint32_t i = 0; i < c.FlashFaultCount; ++i) {
    const EcFlashFault& fault = c.FlashFaults[i];
    if (fault.Address != address) continue;
    if (fault.NeverPrograms) return;
    cell &= static_cast<uint8_t>(~fault.StuckZeroMask);
  }
  ec->Flash[address] = cell;
  ec->LastProgrammed[address] = ec->PortOps;
}

void EcFlashApplyResetFaults(EcModel* ec) {
  const EcConfig& c = ec->Config;
  for (uint32_t i = 0; i < c.FlashFaultCount; ++i) {
    const EcFlashFault& fault = c.FlashFaults[i];
    if (fault.Address < ec->FlashSize) ec->Flash[fault.Address] &= static_cast<uint8_t>(~fault.StuckZeroMask);
  }
}

}  // namespace sim
