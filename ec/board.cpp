#include "ec/board.h"

#include "platform/text.h"

EcBoard gEcBoard;

void EcBoardReset() { MemSet(&gEcBoard, 0, sizeof(gEcBoard)); }

void EcBoardSetBlockCount(int8_t blocks) {
  gEcBoard.BlockCount = blocks;
  gEcBoard.PartBlockCount = blocks;
}
