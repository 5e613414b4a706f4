#include "flash/block_walk.h"

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

void WriteBytes(FlashStreamGuard* guard, const uint8_t* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) FlashStreamWriteByte(guard, bytes[i]);
}

void WriteErased(FlashStreamGuard* guard, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) FlashStreamWriteByte(guard, kErased);
}

// True when every byte came within its bound and equals its expected value.
bool ReadMatches(FlashStreamGuard* guard, const uint8_t* expected, uint32_t count) {
  bool inTime = true;
  uint8_t differ = 0;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t value;
    inTime &= FlashStreamReadByte(guard, &value);
    differ |= static_cast<uint8_t>(value ^ expected[i]);
  }
  return inTime && differ == 0;
}

// True when every byte came within its bound and reads 0xFF.
bool ReadErased(FlashStreamGuard* guard, uint32_t count) {
  bool inTime = true;
  uint8_t all = kErased;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t value;
    inTime &= FlashStreamReadByte(guard, &value);
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
    if (slot == kMarkPage) FlashProgressText(u" ");
    return;
  }
  if (slot == 0 && walk->BlankMarks) FlashProgressText(u"+");
  if (slot == kMarkPage) {
    FlashProgressText(!walk->SectorGood ? u"-" : walk->BlankMarks ? u"\b*" : u"*");
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

// A page of the dump: 256 bytes into Capture, and one "*" per kilobyte, after
// the kilobyte's first page.
void DumpPage(FlashWalk* walk, uint32_t page) {
  uint8_t* out = walk->Capture + walk->Position;
  const StreamSlice slice = TakeStream(walk, kPageSize);
  for (uint32_t i = 0; i < slice.Count; i++) (void)FlashStreamReadByte(&walk->Guard, &out[i]);
  if (page % kPagesPerSector == 0) FlashProgressText(u"*");
}

void SendBlockCommand(FlashWalkKind kind, uint32_t block) {
  if (kind == FlashWalkKind::Read || kind == FlashWalkKind::Dump) {
    EcSendCommand(EC_FLASH_READ_BLOCK);
    EcSendCommand(static_cast<uint8_t>(block));
    return;
  }
  // Boot-last programming starts block 0 after the first kilobyte.
  const uint32_t start = kind == FlashWalkKind::ProgramBootLast && block == 0 ? kSectorSize : 0;
  EcSendCommand(EC_FLASH_PROGRAM);
  // The data stream's guard notices a dead EC; the address bytes need not.
  (void)FlashSendAddress(block * kBlockSize + start, 4);
}

// The first kilobyte, last of all: 0x06 and its 1,024 bytes.
void SendBootKilobyte(FlashWalk* walk) {
  EcSendCommand(EC_FLASH_PROGRAM_BOOT);
  FlashStreamGuardStart(&walk->Guard);
  const uint32_t fromImage = walk->ImageEnd < kSectorSize ? static_cast<uint32_t>(walk->ImageEnd) : kSectorSize;
  WriteBytes(&walk->Guard, walk->Image, fromImage);
  WriteErased(&walk->Guard, kSectorSize - fromImage);
}

void OpenBlock(const FlashWalk* walk, uint32_t block) {
  if (walk->Kind == FlashWalkKind::Dump) {
    Print(u"Block %d:", block);
  } else {
    FlashProgressBlockOpen(block);
  }
}

void CloseBlock(const FlashWalk* walk) {
  if (walk->Kind == FlashWalkKind::Dump) {
    FlashProgressText(u"\n");
  } else {
    FlashProgressBlockClose(walk->BlockFine);
  }
}

// One page of a block's stream, with the marks due before it.
void WalkPage(FlashWalk* walk, uint32_t block, uint32_t page) {
  if (walk->Kind == FlashWalkKind::Dump) {
    DumpPage(walk, page);
    return;
  }
  const bool judged = block * kPagesPerBlock + page < walk->JudgedPages;
  SectorMarks(walk, page, judged && walk->Remaining != 0);
  switch (walk->Kind) {
    case FlashWalkKind::Program:
      ProgramPage(walk);
      break;
    case FlashWalkKind::ProgramBootLast:
      if (block == 0 && page < kBootPages) {
        TakeStream(walk, kPageSize);  // sent last, after 0x06
      } else {
        ProgramPage(walk);
      }
      break;
    case FlashWalkKind::Read:
      ReadPage(walk, judged);
      break;
    case FlashWalkKind::Dump:
      break;
  }
}

}  // namespace

uint32_t FlashBlockCount() {
  // EcBoardSetBlockCount keeps the count within 1 to 4; so does the ROM-size rule.
  return static_cast<uint8_t>(gEcBoard.BlockCount);
}

uint32_t FlashStreamBlocks(uint64_t length) {
  constexpr uint64_t kMaxStreamBlocks = 256;
  const uint64_t span = FlashBlockSpan(length);
  return static_cast<uint32_t>(span < kMaxStreamBlocks ? span : kMaxStreamBlocks);
}

void FlashProgressText(const Char16* text) { ConOutputString(text); }

void FlashProgressBlockOpen(uint32_t block) { Print(u"\nBlock%d: ", block); }

void FlashProgressBlockClose(bool fine) { FlashProgressText(fine ? u"   Fine" : u"   Bad"); }

void FlashWalkStart(FlashWalk* walk, FlashWalkKind kind, const ImageBuffer* image, uint64_t length) {
  walk->Kind = kind;
  walk->BlankMarks = false;
  walk->Image = nullptr;
  walk->Capture = nullptr;
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
  walk->Guard = FlashStreamGuard{FlashTimeoutRun{0}, false, 0};
}

void FlashWalkBlocks(FlashWalk* walk, uint32_t blockCount) {
  for (uint32_t block = 0; block < blockCount; block++) {
    SendBlockCommand(walk->Kind, block);
    OpenBlock(walk, block);
    walk->BlockFine = true;
    FlashStreamGuardStart(&walk->Guard);
    for (uint32_t page = 0; page < kPagesPerBlock; page++) WalkPage(walk, block, page);
    // The EC boots from the first kilobyte: never write it over a hole. After
    // any byte of the pass's streams that the EC did not take in time it stays
    // erased; the verify fails and the next pass starts over.
    if (walk->Kind == FlashWalkKind::ProgramBootLast && walk->Remaining == 0 && walk->Guard.Missed == 0) {
      SendBootKilobyte(walk);
    }
    CloseBlock(walk);
  }
}
