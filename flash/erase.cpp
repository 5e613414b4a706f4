#include "flash/erase.h"

#include "ec/board.h"
#include "ec/ec_channel.h"
#include "flash/flash_mode.h"
#include "flash/block_walk.h"
#include "platform/format.h"

namespace {

// The chip erase of a 192 or 256 KB part answers a completion byte; give it
// four tries of a long OBF wait each.
constexpr uint8_t kEraseComplete = 0xF8;
constexpr uint32_t kCompletionTries = 4;
constexpr uint32_t kCompletionPollReads = 1 + 300000;
constexpr const Char16* kEraseFailure = u"\nErase failure\n";
// Smaller parts answer nothing: wait 64 marks of 15 ms instead.
constexpr uint32_t kTimedMarks = 64;
constexpr size_t kTimedMarkStallUs = 15000;
// A sector erase is paced by a 1 ms stall and the next command's handshake.
constexpr size_t kSectorEraseStallUs = 1000;
// /g keeps the G-sensor data in the last two sectors of block 2.
constexpr uint32_t kKeepReservedSectors = kKeepReservedLength / kSectorSize;  // 190
// The sector address travels in three bytes: sectors past this one would
// wrap around to the start of the flash.
constexpr uint32_t kLastAddressableSector = (1u << 24) / kSectorSize;  // 16,384
// A sweep gives up after this many sector commands in a row of which no byte
// was taken in time: an EC that is gone would otherwise cost minutes of
// polling per pass, and an absent EC reads 0xFF everywhere, so the blank
// check that follows would even pass.
constexpr uint32_t kDeadSectorLimit = 16;

// Sends one sector erase (command and three address bytes) and waits for it.
// True when at least one of the four bytes was taken within its bound.
bool EraseSectorAt(uint32_t address) {
  const bool commandTaken = EcSendCommandChecked(EC_FLASH_SECTOR_ERASE);
  const bool addressTaken = FlashSendAddress(address, 3);
  Stall(kSectorEraseStallUs);
  return commandTaken || addressTaken;
}

// Erases sectors 0 to count - 1 with one "*" each, opening a line per block
// and closing every full block's line with blockEnd. False when the EC took
// nothing of kDeadSectorLimit sector commands in a row: the sweep stops there.
bool EraseSectorRun(uint32_t count, const Char16* blockEnd) {
  uint32_t deadInARow = 0;
  for (uint32_t sector = 0; sector < count; sector++) {
    if (sector % kSectorsPerBlock == 0) FlashProgressBlockOpen(sector / kSectorsPerBlock);
    deadInARow = EraseSectorAt(sector * kSectorSize) ? 0 : deadInARow + 1;
    FlashProgressText(u"*");
    if ((sector + 1) % kSectorsPerBlock == 0) FlashProgressText(blockEnd);
    if (deadInARow >= kDeadSectorLimit) return false;
  }
  return true;
}

bool AwaitChipEraseCompletion() {
  const EcPortSet& ports = gEcBoard.Ports;
  for (uint32_t attempt = 0; attempt < kCompletionTries; attempt++) {
    // The data port is read either way: the byte decides, not the flag.
    (void)EcWaitObfSet(ports.CommandPort, kCompletionPollReads);
    if (EcRawReadDataPort() == kEraseComplete) {
      FlashProgressText(u"Erasing:****************************************************************   Fine\n");
      return true;
    }
  }
  FlashProgressText(kEraseFailure);
  return false;
}

}  // namespace

bool FlashChipErase() {
  EcSendCommand(EC_FLASH_CHIP_ERASE);
  for (uint32_t i = 0; i < 4; i++) EcSendCommand(0x00);
  FlashProgressText(u"Erase ====================>\n");
  // The part decides, not the ROM size: a 192 or 256 KB part flashed with a
  // 128 KB image still reports the end of its erase.
  if (FlashPartAnswersErase()) return AwaitChipEraseCompletion();
  FlashProgressText(u"Erasing:");
  for (uint32_t mark = 0; mark < kTimedMarks; mark++) {
    FlashProgressText(u"*");
    Stall(kTimedMarkStallUs);
  }
  FlashProgressText(u"   Fine\n");
  return true;
}

bool FlashSectorEraseAll() {
  FlashProgressText(u"Erase  ====================>");
  const bool erased = EraseSectorRun(FlashBlockCount() * kSectorsPerBlock, u"   Done");
  FlashProgressText(erased ? u"\n ersse success\n" : kEraseFailure);
  return erased;
}

// Erases whatever the block count: with 1 or 2 blocks the commands past the
// ROM go out all the same, with 4 blocks block 3 is left alone.
bool FlashEraseKeepReserved() {
  FlashProgressText(u"Erase ====================>");
  const bool erased = EraseSectorRun(kKeepReservedSectors, u"   Fine");
  FlashProgressText(erased ? u"     Fine\n" : kEraseFailure);
  return erased;
}

void FlashEraseOneSector(uint32_t sector) {
  FlashProgressText(u"Erase ====================>");
  // The option parser allows 1 to 16,384 only; never let a sector number
  // wrap around to another sector.
  if (sector == 0 || sector > kLastAddressableSector) return;
  const uint32_t first = (sector - 1) * kSectorSize;
  Print(u"\nErase from 0x%08x to 0x%08x : ", first, first + kSectorSize - 1);
  // One sector: the next command's handshake tells whether the EC is there.
  (void)EraseSectorAt(first);
  FlashProgressText(u" *");
  FlashProgressText(u"     Done\n");
}
