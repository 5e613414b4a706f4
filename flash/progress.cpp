#include "flash/progress.h"

#include "ec/board.h"
#include "ec/ec_channel.h"
#include "flash/flash_mode.h"
#include "platform/format.h"

namespace {

constexpr uint32_t kPagesPerSector = kSectorSize / kPageSize;  // 4
constexpr uint32_t kMarkPage = kPagesPerSector - 1;            // a sector's mark comes before its last page
constexpr uint32_t kBootPages = kSectorSize / kPageSize;       // the first kilobyte, sent last by boot-last
constexpr uint8_t kErased = 0xFF;

// ---- Per-byte streams: nothing but the handshake happens per byte. ----------

void WriteBytes(StreamGuard* guard, const uint8_t* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) StreamWriteByte(guard, bytes[i]);
}

void WriteErased(StreamGuard* guard, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) StreamWriteByte(guard, kErased);
}

// True when every byte came within its bound and equals its expected value.
bool ReadMatches(StreamGuard* guard, const uint8_t* expected, uint32_t count) {
  bool inTime = true;
  uint8_t differ = 0;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t value;
    inTime &= StreamReadByte(guard, &value);
    differ |= static_cast<uint8_t>(value ^ expected[i]);
  }
  return inTime && differ == 0;
}

// True when every byte came within its bound and reads 0xFF.
bool ReadErased(StreamGuard* guard, uint32_t count) {
  bool inTime = true;
  uint8_t all = kErased;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t value;
    inTime &= StreamReadByte(guard, &value);
    all &= value;
  }
  return inTime && all == kErased;
}

// ---- The stream: image bytes up to ImageEnd, 0xFF after them. -------------

struct StreamSlice {
  const uint8_t* Bytes;  // the image bytes of the slice
  uint32_t FromImage;    // how many of the slice's bytes come from the image
  uint32_t Count;        // bytes in the slice (fewer than asked at the stream's end)
};

StreamSlice TakeStream(FlashWalk* walk, uint32_t count) {
  if (walk->Remaining < count) count = static_cast<uint32_t>(walk->Remaining);
  StreamSlice slice{nullptr, 0, count};
  if (walk->Position < walk->ImageEnd) {
    const uint64_t left = walk->ImageEnd - walk->Position;
    slice.FromImage = left < count ? static_cast<uint32_t>(left) : count;
    slice.Bytes = walk->Image + walk->Position;
  }
  walk->Position += count;
  walk->Remaining -= count;
  return slice;
}

// ---- Pages and blocks --------------------------------------------------------

// The marks due before a page: the sector mark before the sector's fourth
// page (it covers the four pages read since the previous mark), and for the
// blank check a "+" before its first. A page that does not count (nothing
// left to stream, or reserved) gets a blank mark and leaves the sector flag.
void SectorMarks(FlashWalk* walk, uint32_t page, bool counts) {
  const uint32_t slot = page % kPagesPerSector;
  if (!counts) {
    if (slot == kMarkPage) ProgressText(u" ");
    return;
  }
  if (slot == 0 && walk->BlankMarks) ProgressText(u"+");
  if (slot == kMarkPage) {
    ProgressText(!walk->SectorGood ? u"-" : walk->BlankMarks ? u"\b*" : u"*");
    walk->SectorGood = true;
  }
}

// A page of the program stream: 256 bytes, 0xFF past the stream's end.
void ProgramPage(FlashWalk* walk) {
  const StreamSlice slice = TakeStream(walk, kPageSize);
  WriteBytes(&walk->Guard, slice.Bytes, slice.FromImage);
  WriteErased(&walk->Guard, kPageSize - slice.FromImage);
}

// A page of the read stream: what is left of it, at most 256 bytes. Bytes of
// a page that is not judged are read and ignored.
void ReadPage(FlashWalk* walk, bool judged) {
  const StreamSlice slice = TakeStream(walk, kPageSize);
  bool good = ReadMatches(&walk->Guard, slice.Bytes, slice.FromImage);
  good = ReadErased(&walk->Guard, slice.Count - slice.FromImage) && good;
  if (good || !judged) return;
  walk->Overall = false;
  walk->BlockFine = false;
  walk->SectorGood = false;
}

void SendBlockCommand(WalkKind kind, uint32_t block) {
  if (kind == WalkKind::Read) {
    EcSendCommand(EC_FLASH_READ_BLOCK);
    EcSendCommand(static_cast<uint8_t>(block));
    return;
  }
  // Boot-last programming starts block 0 after the first kilobyte.
  const uint32_t start = kind == WalkKind::ProgramBootLast && block == 0 ? kSectorSize : 0;
  EcSendCommand(EC_FLASH_PROGRAM);
  SendFlashAddress(block * kBlockSize + start, 4);
}

// The first kilobyte, last of all: 0x06 and its 1,024 bytes.
void SendBootKilobyte(FlashWalk* walk) {
  EcSendCommand(EC_FLASH_PROGRAM_BOOT);
  StreamGuardStart(&walk->Guard);
  const uint32_t fromImage = walk->ImageEnd < kSectorSize ? static_cast<uint32_t>(walk->ImageEnd) : kSectorSize;
  WriteBytes(&walk->Guard, walk->Image, fromImage);
  WriteErased(&walk->Guard, kSectorSize - fromImage);
}

}  // namespace

uint32_t FlashBlockCount() {
  const int8_t count = gEcBoard.BlockCount;
  if (count < 0) return 0;
  return static_cast<uint32_t>(count) > kMaxBlocks ? kMaxBlocks : static_cast<uint32_t>(count);
}

void ProgressText(const Char16* text) { ConOutputString(text); }

void ProgressBlockOpen(uint32_t block) { Print(u"\nBlock%d: ", block); }

void ProgressBlockClose(bool fine) { ProgressText(fine ? u"   Fine" : u"   Bad"); }

void FlashWalkStart(FlashWalk* walk, WalkKind kind, const ImageBuffer* image, uint64_t length) {
  walk->Kind = kind;
  walk->BlankMarks = false;
  walk->Image = nullptr;
  walk->ImageEnd = 0;
  if (image != nullptr && image->Data != nullptr) {
    walk->Image = image->Data;
    walk->ImageEnd = image->Length < length ? image->Length : length;
  }
  walk->Position = 0;
  walk->Remaining = length;
  walk->JudgedPages = kAllPagesJudged;
  walk->Overall = true;
  walk->BlockFine = true;
  walk->SectorGood = true;
  walk->StreamAbandoned = false;
  walk->Guard = StreamGuard{0, false, false};
}

void FlashWalkBlocks(FlashWalk* walk, uint32_t blockCount) {
  for (uint32_t block = 0; block < blockCount; block++) {
    SendBlockCommand(walk->Kind, block);
    ProgressBlockOpen(block);
    walk->BlockFine = true;
    StreamGuardStart(&walk->Guard);
    for (uint32_t page = 0; page < kPagesPerBlock; page++) {
      const bool judged = block * kPagesPerBlock + page < walk->JudgedPages;
      SectorMarks(walk, page, judged && walk->Remaining != 0);
      switch (walk->Kind) {
        case WalkKind::Program:
          ProgramPage(walk);
          break;
        case WalkKind::ProgramBootLast:
          if (block == 0 && page < kBootPages) {
            TakeStream(walk, kPageSize);  // sent last, after 0x06
          } else {
            ProgramPage(walk);
          }
          break;
        case WalkKind::Read:
          ReadPage(walk, judged);
          break;
      }
    }
    if (walk->Guard.Abandoned) walk->StreamAbandoned = true;
    // The EC boots from the first kilobyte: never write it over a hole that
    // an abandoned stream left. The verify fails and the next pass starts over.
    if (walk->Kind == WalkKind::ProgramBootLast && walk->Remaining == 0 && !walk->StreamAbandoned) {
      SendBootKilobyte(walk);
    }
    ProgressBlockClose(walk->BlockFine);
  }
}
