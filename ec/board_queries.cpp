// The size probe, the AC check and the EC's project and version lines.
#include "ec/board_queries.h"

#include "ec/ec_channel.h"
#include "platform/name_text.h"
#include "platform/format.h"

namespace {

constexpr uint8_t kSizeProbeParam0 = 0x20;
constexpr uint8_t kSizeProbeParam1 = 0x02;
constexpr uint8_t kSizeProbeParam2 = 0x00;

// Sends a query on the selected ports and reads its reply: up to 16 bytes,
// ending after the first '$'. Bytes after the '$' keep what they held.
void QueryEcText(uint8_t command, uint8_t buffer[kNameBufferSize]) {
  // The EC may still hold a byte from earlier traffic; take it up first so
  // that it does not open the reply.
  uint8_t scratch = 0;
  (void)EcReadByte(&scratch);
  EcSendCommand(command);
  for (unsigned i = 0; i < kNameBufferSize; i++) {
    (void)EcReadByte(&buffer[i]);
    if (buffer[i] == '$') break;
  }
}

}  // namespace

void ProbeFlashSize() {
  EcRamWrite(EC_RAM_MBOX_DATA0, kSizeProbeParam0);
  EcRamWrite(EC_RAM_MBOX_DATA1, kSizeProbeParam1);
  EcRamWrite(EC_RAM_MBOX_DATA2, kSizeProbeParam2);
  EcRamWrite(EC_RAM_MBOX_CMD, EC_MBOX_SIZE_PROBE);
  const uint8_t reply = EcRamRead(EC_RAM_MBOX_DATA0);
  int8_t blocks = 1;
  switch (reply & 0xF0) {
    case 0x40: blocks = 3; break;
    case 0x80: blocks = 4; break;
    default: break;
  }
  EcBoardSetBlockCount(blocks);
}

bool CheckAcAdapter() {
  (void)EcRawReadFixedPort(EC_FIXED_DATA_PORT);
  (void)EcRawReadFixedPort(EC_FIXED_COMMAND_PORT);
  // The first reading can be stale; only the second one counts.
  (void)EcRamRead(EC_RAM_ADAPTER_STATUS);
  const uint8_t status = EcRamRead(EC_RAM_ADAPTER_STATUS);
  return (status & 0x01) != 0;
}

void ShowEcProject(uint8_t buffer[kNameBufferSize]) {
  QueryEcText(EC_QUERY_PROJECT, buffer);
  Print(u"M/B  EC Project: ");
  ConSetAttribute(kAttrProject);
  PrintNameText(buffer, kNameBufferSize);
  Print(u"\n");
  ConSetAttribute(kAttrNormal);
}

void ShowEcVersion(uint8_t buffer[kNameBufferSize]) {
  QueryEcText(EC_QUERY_VERSION, buffer);
  Print(u"M/B  EC Version: ");
  ConSetAttribute(kAttrVersion);
  // The version tags hold "1." in front of what the EC reports.
  Print(u"1.");
  PrintNameText(buffer, kNameBufferSize);
  Print(u"\n");
  ConSetAttribute(kAttrNormal);
}
