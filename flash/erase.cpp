#include "flash/erase.h"

#include "ec/board.h"
#include "ec/ec_channel.h"
#include "flash/flash_mode.h"
#include "flash/block_walk.h"
#include "flash/stream_guard.h"
#include "platform/format.h"

namespace {

// The chip erase of a 192 or 256 KB part may answer a completion byte; give
// it four tries of a long OBF wait each.
constexpr uint8_t kEraseComplete = 0xF8;
constexpr uint32_t kCompletionTries = 4;
constexpr uint32_t kCompletionPollReads = 1 + 300000;
constexpr uint32_t kChipEraseParameters = 4;
constexpr const Char16* kEraseFailure = u"\nErase failure\n";
// Parts that answer nothing: wait 64 marks of 15 ms instead.
constexpr uint32_t kTimedMarks = 64;
constexpr size_t kTimedMarkStallUs = 15000;
// A sector erase is paced by a 1 ms stall and the next command's handshake.
constexpr size_t kSectorEraseStallUs = 1000;
constexpr uint32_t kSectorCommandBytes = 4;  // 0x05 and three address bytes
// /g keeps the G-sensor data in the last two sectors of block 2.
constexpr uint32_t kKeepReservedSectors = kKeepReservedLength / kSectorSize;  // 190
// The sector address travels in three bytes: sectors past this one would
// wrap around to the start of the flash.
constexpr uint32_t kLastAddressableSector = (1u << 24) / kSectorSize;  // 16,384

// Sends one sector erase (command and three address bytes) and waits for it.
// Returns how many of the four bytes the EC took within their bound.
uint32_t EraseSectorAt(uint32_t address) {
  const uint32_t commandTaken = EcSendCommandChecked(EC_FLASH_SECTOR_ERASE) ? 1 : 0;
  const uint32_t addressTaken = FlashSendAddress(address, 3);
  Stall(kSectorEraseStallUs);
  return commandTaken + addressTaken;
}

// True when the judge stops the sweep after a sector command of which the EC
// took `taken` bytes. DeadRun: an EC that is gone would otherwise cost
// minutes of polling per pass, and an absent EC reads 0xFF everywhere, so the
// blank check that follows would even pass.
bool SweepStops(FlashEraseJudge judge, FlashTimeoutRun* dead, uint32_t taken) {
  if (judge == FlashEraseJudge::EveryByte) return taken != kSectorCommandBytes;
  return FlashTimeoutRunCount(dead, taken != 0);
}

// Erases sectors 0 to count - 1 with one mark each, opening a line per block
// and closing every full block's line with blockEnd. False when the judge
// stopped the sweep or (EveryByte) the EC did not take the last byte.
bool EraseSectorRun(uint32_t count, const Char16* blockEnd, FlashEraseJudge judge) {
  FlashTimeoutRun dead{0};
  for (uint32_t sector = 0; sector < count; sector++) {
    if (sector % kSectorsPerBlock == 0) FlashProgressBlockOpen(sector / kSectorsPerBlock);
    const uint32_t taken = EraseSectorAt(sector * kSectorSize);
    const bool stops = SweepStops(judge, &dead, taken);
    FlashProgressText(judge == FlashEraseJudge::EveryByte && stops ? u"-" : u"*");
    if ((sector + 1) % kSectorsPerBlock == 0) FlashProgressText(blockEnd);
    if (stops) return false;
  }
  return judge == FlashEraseJudge::DeadRun || EcAwaitLastByteTaken();
}

enum class Completion : uint8_t { Done, Failed, Silent };

// Done: a 0xF8 came. Failed: the EC answered, but never 0xF8. Silent: OBF
// came in none of the reads, so the part does not report its erase at all.
Completion AwaitChipEraseCompletion() {
  const EcPortSet& ports = gEcBoard.Ports;
  bool answered = false;
  for (uint32_t attempt = 0; attempt < kCompletionTries; attempt++) {
    answered = EcWaitObfSet(ports.CommandPort, kCompletionPollReads) || answered;
    // The data port is read either way: the byte decides, not the flag.
    if (EcRawReadDataPort() == kEraseComplete) return Completion::Done;
  }
  return answered ? Completion::Failed : Completion::Silent;
}

void TimedChipEraseWait() {
  FlashProgressText(u"Erasing:");
  for (uint32_t mark = 0; mark < kTimedMarks; mark++) {
    FlashProgressText(u"*");
    Stall(kTimedMarkStallUs);
  }
  FlashProgressText(u"   Fine\n");
}

}  // namespace

bool FlashChipErase(FlashEraseJudge judge) {
  const uint32_t missedBefore = gEcBoard.SendsNotTaken;
  EcSendCommand(EC_FLASH_CHIP_ERASE);
  for (uint32_t i = 0; i < kChipEraseParameters; i++) EcSendCommand(0x00);
  FlashProgressText(u"Erase ====================>\n");
  // EveryByte: the command must have been taken whole; DeadRun: an EC that
  // took none of it has erased nothing, and a gone EC is not waited for.
  if (judge == FlashEraseJudge::EveryByte) (void)EcAwaitLastByteTaken();  // counted in the tally
  const uint32_t missed = gEcBoard.SendsNotTaken - missedBefore;
  if (judge == FlashEraseJudge::EveryByte ? missed != 0 : missed == 1 + kChipEraseParameters) {
    FlashProgressText(kEraseFailure);
    return false;
  }
  // The part decides, not the ROM size: a 192 or 256 KB part flashed with a
  // 128 KB image may still report the end of its erase.
  if (FlashPartAnswersErase()) {
    switch (AwaitChipEraseCompletion()) {
      case Completion::Done:
        FlashProgressText(u"Erasing:****************************************************************   Fine\n");
        return true;
      case Completion::Failed:
        FlashProgressText(kEraseFailure);
        return false;
      case Completion::Silent:
        break;  // it does not report: wait as for the smaller parts
    }
  }
  TimedChipEraseWait();
  return true;
}

bool FlashSectorEraseAll(FlashEraseJudge judge) {
  FlashProgressText(u"Erase  ====================>");
  const bool erased = EraseSectorRun(FlashBlockCount() * kSectorsPerBlock, u"   Done", judge);
  FlashProgressText(erased ? u"\n ersse success\n" : kEraseFailure);
  return erased;
}

// Erases whatever the block count: with 1 or 2 blocks the commands past the
// ROM go out all the same, with 4 blocks block 3 is left alone.
bool FlashEraseKeepReserved() {
  FlashProgressText(u"Erase ====================>");
  const bool erased = EraseSectorRun(kKeepReservedSectors, u"   Fine", FlashEraseJudge::DeadRun);
  FlashProgressText(erased ? u"     Fine\n" : kEraseFailure);
  return erased;
}

bool FlashEraseOneSector(uint32_t sector) {
  FlashProgressText(u"Erase ====================>");
  // The option parser allows 1 to 16,384 only; never let a sector number
  // wrap around to another sector.
  if (sector == 0 || sector > kLastAddressableSector) {
    FlashProgressText(kEraseFailure);
    return false;
  }
  const uint32_t first = (sector - 1) * kSectorSize;
  Print(u"\nErase from 0x%08x to 0x%08x : ", first, first + kSectorSize - 1);
  const bool taken = EraseSectorAt(first) == kSectorCommandBytes && EcAwaitLastByteTaken();
  FlashProgressText(taken ? u" *" : u" -");
  FlashProgressText(taken ? u"     Done\n" : kEraseFailure);
  return taken;
}
