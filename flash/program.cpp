#include "flash/program.h"

#include "flash/flash_mode.h"
#include "flash/progress.h"

namespace {

// The block number travels in one address byte.
constexpr uint64_t kMaxStreamBlocks = 256;

uint32_t StreamBlocks(uint64_t length) {
  const uint64_t span = BlockSpan(length);
  return static_cast<uint32_t>(span < kMaxStreamBlocks ? span : kMaxStreamBlocks);
}

void ProgramBlocks(WalkKind kind, const ImageBuffer& image, uint64_t length) {
  FlashWalk walk;
  FlashWalkStart(&walk, kind, &image, length);
  FlashWalkBlocks(&walk, StreamBlocks(length));
  ProgressText(u"\n write success\n");
}

}  // namespace

// Every block of the span gets its full 65,536 bytes. Programming reports no
// failure: the verify that follows is the judge.
bool FlashProgram(const ImageBuffer& image, uint64_t length) {
  ProgressText(u"Write data ===============>");
  ProgramBlocks(WalkKind::Program, image, length);
  return true;
}

// The EC boots from the first kilobyte: it is written last, after every other
// page, so an interrupted update leaves it erased rather than half new. An
// image shorter than a kilobyte is padded with 0xFF.
bool FlashProgramBootLast(const ImageBuffer& image, uint64_t length) {
  ProgressText(u"Update data ==============>");
  ProgramBlocks(WalkKind::ProgramBootLast, image, length);
  return true;
}
