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

// 0xDE, 0xDC. True when the EC took at least one of them within its bound.
[[nodiscard]] bool EnterFlashMode();
// Asks the EC how it wants to be flashed and records it in gEcBoard: the
// sector sweep when the user asked for it (/l) or the EC's reply qualifies,
// boot-last programming when the reply qualifies. Whatever the EC left unread
// is taken up first, so that the reply read is the reply. True when the EC
// took the query (0xF0) within its bound.
[[nodiscard]] bool QueryFlashMode(bool sweepRequested);
void ShowFlashPartId(uint64_t imageLength);
void ExitFlashMode();
// True when the part's block count or the ROM's says three or four blocks
// (192 or 256 KB): such a part answers a fourth ID byte and may report the
// end of its chip erase, whatever the image.
[[nodiscard]] bool FlashPartAnswersErase();

// Sends the low byteCount bytes (at most 4) of a flash address as parameter
// bytes of a flash-mode command, most significant first. Returns how many of
// them the EC took within their bound.
[[nodiscard]] uint32_t FlashSendAddress(uint32_t address, uint32_t byteCount);
