#include "flash/check.h"

#include "ec/ec_channel.h"
#include "flash/flash_mode.h"
#include "flash/progress.h"

namespace {

// A working EC never leaves more than the rest of one block to drain; a
// status port that reads all ones must not keep the drain going forever.
constexpr uint32_t kDrainLimit = kBlockSize;
// The block number travels in one parameter byte.
constexpr uint64_t kMaxStreamBlocks = 256;
}  // namespace

bool FlashBlankCheck(bool keepReserved) {
  ProgressText(u"Blank Check ==============>");
  // A stale byte would shift every block read by one and fail every pass.
  EcDiscardStaleOutput();
  const uint32_t blocks = FlashBlockCount();
  FlashWalk walk;
  FlashWalkStart(&walk, WalkKind::Read, nullptr, static_cast<uint64_t>(blocks) * kBlockSize);
  walk.BlankMarks = true;
  // /g erased only the first 190 sectors: whatever lies past them is read but
  // not judged.
  if (keepReserved) walk.JudgedPages = kKeepReservedLength / kPageSize;
  FlashWalkBlocks(&walk, blocks);
  DrainEcOutput();
  ProgressText(walk.Overall ? u"\n Blank Check success\n" : u"\n Blank Check fail\n");
  return walk.Overall;
}

bool FlashVerify(const ImageBuffer& image, uint64_t length) {
  ProgressText(u"Verify Check =============>");
  const uint64_t span = BlockSpan(length);
  FlashWalk walk;
  FlashWalkStart(&walk, WalkKind::Read, &image, length);
  FlashWalkBlocks(&walk, static_cast<uint32_t>(span < kMaxStreamBlocks ? span : kMaxStreamBlocks));
  // The unread rest of the last block is still waiting on the data port.
  DrainEcOutput();
  ProgressText(walk.Overall ? u"\n Verfied success\n" : u"\n Verfied fail\n");
  return walk.Overall;
}

void DrainEcOutput() {
  uint8_t discarded;
  for (uint32_t i = 0; i < kDrainLimit; i++) {
    if (!EcReadByte(&discarded)) return;
  }
}
