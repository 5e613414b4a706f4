#include "flash/program.h"

#include "flash/flash_mode.h"
#include "flash/block_walk.h"

namespace {

void ProgramBlocks(FlashWalkKind kind, const ImageBuffer& image, uint64_t length) {
  FlashWalk walk;
  FlashWalkStart(&walk, kind, &image, length);
  FlashWalkBlocks(&walk, FlashStreamBlocks(length));
  FlashProgressText(u"\n write success\n");
}

}  // namespace

// Every block of the span gets its full 65,536 bytes. Programming reports no
// failure: the verify that follows is the judge.
void FlashProgram(const ImageBuffer& image, uint64_t length) {
  FlashProgressText(u"Write data ===============>");
  ProgramBlocks(FlashWalkKind::Program, image, length);
}

// The EC boots from the first kilobyte: it is written last, after every other
// page, so an interrupted update leaves it erased rather than half new. An
// image shorter than a kilobyte is padded with 0xFF.
void FlashProgramBootLast(const ImageBuffer& image, uint64_t length) {
  FlashProgressText(u"Update data ==============>");
  ProgramBlocks(FlashWalkKind::ProgramBootLast, image, length);
}
