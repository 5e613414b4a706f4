// The block walk that programming, blank check, verify and the dump share,
// and how the flash operations show their progress.
//
// Every operation prints a header, then one line per block opened by
// "\nBlock%d: ", one mark per 1 KB sector ("*" done or good, "-" bad, " "
// nothing to do or not judged), "   Fine" or "   Bad" at the block's end, and
// a verdict line. The blank check shows "+" while a sector is read and turns
// it into "*" with a backspace. The dump shows "Block%d:" and one "*" per
// kilobyte read, a line per block.
#pragma once

#include <stdint.h>

#include "flash/stream_guard.h"
#include "image/image_buffer.h"
#include "platform/platform.h"

// Block count of the flash as the whole-flash operations walk it (1 to 4).
[[nodiscard]] uint32_t FlashBlockCount();
// Blocks that a stream of length bytes spans, at most 256: the block number
// travels in one parameter byte.
[[nodiscard]] uint32_t FlashStreamBlocks(uint64_t length);

// Console pieces of the progress line.
void FlashProgressText(const Char16* text);
void FlashProgressBlockOpen(uint32_t block);
void FlashProgressBlockClose(bool fine);

enum class FlashWalkKind : uint8_t {
  Program,          // 0x02 per block, 256 bytes out per page
  ProgramBootLast,  // the same, first kilobyte left out and sent last with 0x06
  Read,             // 0x03 per block, bytes in and judged (verify, blank check)
  Dump,             // 0x03 per block, bytes in and kept in Capture
};

// One streaming operation over the flash, block by block and page by page.
struct FlashWalk {
  FlashWalkKind Kind;
  bool BlankMarks;        // "+" before a sector is read, "\b*" over it when good
  const uint8_t* Image;   // bytes to send or expect; the stream past ImageEnd is 0xFF
  uint8_t* Capture;       // Dump: where the bytes read go (BlockCount x 64 KB)
  uint64_t ImageEnd;      // stream bytes available from Image
  uint64_t Position;      // stream offset of the next byte (from flash address 0)
  uint64_t Remaining;     // bytes of the length not yet streamed
  uint32_t JudgedPages;   // pages from address 0 that count; later ones are reserved
  bool Overall;           // no bad byte in the whole operation
  bool BlockFine;         // no bad byte in this block
  bool SectorGood;        // no bad byte since the last sector mark
  FlashStreamGuard Guard;
};

constexpr uint32_t kAllPagesJudged = 0xFFFFFFFFu;

// Sets up a walk over length bytes of image (nullptr: a stream of 0xFF);
// every page is judged and the verdict flags start true.
void FlashWalkStart(FlashWalk* walk, FlashWalkKind kind, const ImageBuffer* image, uint64_t length);
// Walks blocks 0 to blockCount - 1: the block's command, its line of marks
// with the page streams between them, and "   Fine" or "   Bad".
void FlashWalkBlocks(FlashWalk* walk, uint32_t blockCount);
