#include "flash/flash_mode.h"

#include "ec/board.h"
#include "ec/ec_channel.h"
#include "platform/format.h"

bool EnterFlashMode() {
  const bool prepared = EcSendCommandChecked(EC_FLASH_PREPARE);
  const bool entered = EcSendCommandChecked(EC_FLASH_ENTER);
  return prepared || entered;
}

// A reply that came and is neither 0x00 nor 0xFF turns on both the sector
// sweep and boot-last programming; anything else leaves the user's choice.
bool QueryFlashMode(bool sweepRequested) {
  // A byte left over from the identity queries would be taken for the reply.
  EcDiscardStaleOutput();
  const bool taken = EcSendCommandChecked(EC_FLASH_QUERY_MODE);
  uint8_t reply = 0;
  const bool came = EcReadByte(&reply);
  const bool qualifies = came && reply != 0x00 && reply != 0xFF;
  gEcBoard.FlashModeReply = qualifies ? reply : 0;
  gEcBoard.SectorEraseMode = sweepRequested || qualifies ? 1 : 0;
  return taken;
}

void ShowFlashPartId(uint64_t imageLength) {
  EcSendCommand(EC_FLASH_READ_ID);
  ConOutputString(u"Get Flash Part ID=========>    ");
  // Parts of 192 KB and more answer a fourth ID byte.
  const uint32_t idLength = FlashPartAnswersErase() ? 4 : 3;
  for (uint32_t i = 0; i < idLength; i++) {
    uint8_t id = 0;
    (void)EcReadByte(&id);  // shown whether or not it came in time
    Print(u"0x%02x ", id);
  }
  // An image spanning exactly two blocks is a 128 KB ROM, whatever the probe said.
  if (FlashBlockSpan(imageLength) == 2) gEcBoard.BlockCount = 2;
  Print(u"     Rom Size(%d)K\n", 64 * static_cast<int>(gEcBoard.BlockCount));
}

bool FlashPartAnswersErase() {
  const int8_t part = gEcBoard.PartBlockCount;
  const int8_t rom = gEcBoard.BlockCount;
  const int8_t blocks = part > rom ? part : rom;
  return blocks == 3 || blocks == 4;
}

void ExitFlashMode() { EcSendCommand(EC_FLASH_EXIT); }

uint32_t FlashSendAddress(uint32_t address, uint32_t byteCount) {
  if (byteCount > 4) byteCount = 4;
  uint32_t taken = 0;
  for (uint32_t i = byteCount; i-- > 0;) {
    if (EcSendCommandChecked(static_cast<uint8_t>(address >> (8 * i)))) taken++;
  }
  return taken;
}
