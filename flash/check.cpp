#include "flash/check.h"

#include "ec/ec_channel.h"
#include "flash/block_walk.h"
#include "flash/flash_mode.h"

bool FlashBlankCheck(bool keepReserved) {
  FlashProgressText(u"Blank Check ==============>");
  // A stale byte would shift every block read by one and fail every pass.
  EcDiscardStaleOutput();
  const uint32_t blocks = FlashBlockCount();
  FlashWalk walk;
  FlashWalkStart(&walk, FlashWalkKind::Read, nullptr, static_cast<uint64_t>(blocks) * kBlockSize);
  walk.BlankMarks = true;
  // /g erased only the first 190 sectors: whatever lies past them is read but
  // not judged.
  if (keepReserved) walk.JudgedPages = kKeepReservedLength / kPageSize;
  FlashWalkBlocks(&walk, blocks);
  DrainEcOutput();
  FlashProgressText(walk.Overall ? u"\n Blank Check success\n" : u"\n Blank Check fail\n");
  return walk.Overall;
}

bool FlashVerify(const ImageBuffer& image, uint64_t length) {
  FlashProgressText(u"Verify Check =============>");
  FlashWalk walk;
  FlashWalkStart(&walk, FlashWalkKind::Read, &image, length);
  FlashWalkBlocks(&walk, FlashStreamBlocks(length));
  // The unread rest of the last block is still waiting on the data port.
  DrainEcOutput();
  FlashProgressText(walk.Overall ? u"\n Verfied success\n" : u"\n Verfied fail\n");
  return walk.Overall;
}
