#include "ec/board.h"

#include "platform/text.h"

EcBoard gEcBoard;

void EcBoardReset() { MemSet(&gEcBoard, 0, sizeof(gEcBoard)); }

void EcBoardSetBlockCount(int8_t blocks) {
  constexpr int8_t kMinBlocks = 1;
  constexpr int8_t kMaxBlocks = 4;
  if (blocks < kMinBlocks) blocks = kMinBlocks;
  if (blocks > kMaxBlocks) blocks = kMaxBlocks;
  gEcBoard.BlockCount = blocks;
  gEcBoard.PartBlockCount = blocks;
}
