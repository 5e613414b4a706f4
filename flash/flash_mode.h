// Flash mode, flash geometry and the part ID.
#pragma once

#include <stdint.h>

constexpr uint32_t kPageSize = 256;
constexpr uint32_t kSectorSize = 1024;
constexpr uint32_t kBlockSize = 65536;
constexpr uint32_t kPagesPerBlock = 256;
constexpr uint32_t kSectorsPerBlock = 64;
constexpr uint32_t kMaxBlocks = 4;
constexpr uint32_t kMaxFlashSize = kMaxBlocks * kBlockSize;  // 256 KB
constexpr uint32_t kKeepReservedLength = 0x2F800;           // what /g programs and verifies

// Number of 64 KB blocks that length bytes span (rounded up).
constexpr uint64_t FlashBlockSpan(uint64_t length) { return (length >> 16) + ((length & 0xFFFF) != 0 ? 1 : 0); }

void EnterFlashMode();
// Asks the EC how it wants to be flashed and records it in gEcBoard: the
// sector sweep when the user asked for it (/l) or the EC's reply qualifies,
// boot-last programming when the reply qualifies.
void QueryFlashMode(bool sweepRequested);
void ShowFlashPartId(uint64_t imageLength);
void ExitFlashMode();
// True for a part of three or four blocks (192 or 256 KB), whatever the
// image: it answers a fourth ID byte and reports the end of its chip erase.
[[nodiscard]] bool FlashPartAnswersErase();

// Sends the low byteCount bytes of a flash address as parameter bytes of a
// flash-mode command, most significant first. True when the EC took at least
// one of them within its bound (a sweep counts the sectors it took nothing of).
[[nodiscard]] bool FlashSendAddress(uint32_t address, uint32_t byteCount);
