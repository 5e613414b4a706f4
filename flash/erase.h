// Erase operations (the EC is in flash mode).
#pragma once

#include <stdint.h>

// How an erase judges the EC's handshakes.
enum class FlashEraseJudge : uint8_t {
  // In the update loop, where the blank check that follows is the judge: an
  // erase fails only when the EC took nothing of its chip-erase command or of
  // kEcTimeoutRunLimit sector commands in a row.
  DeadRun,
  // The erase-only job, where nothing judges after it: any command or
  // parameter byte the EC did not take within its bound (the last one
  // included) fails the erase, and a sweep stops there.
  EveryByte,
};

// The chip erase. False after "\nErase failure\n": the EC answered its
// completion reads without 0xF8, took none of the command's five bytes, or
// (EveryByte) did not take every one of them.
// A part that answers no completion read at all is given the timed wait.
[[nodiscard]] bool FlashChipErase(FlashEraseJudge judge);
// The sector sweep over the block count. False after "\nErase failure\n".
[[nodiscard]] bool FlashSectorEraseAll(FlashEraseJudge judge);
// Sectors 0 to 189 (/g keeps the two after them), judged as DeadRun.
[[nodiscard]] bool FlashEraseKeepReserved();
// One sector (1 to 16,384), judged as EveryByte. False after "\nErase failure\n".
[[nodiscard]] bool FlashEraseOneSector(uint32_t sector);
