// What the run learns about the EC: which ports answer, how large its flash
// is, and how it wants to be erased and programmed. Zeroed at the start of
// every run; only ec/ and flash/ write it, the layers above read it.
#pragma once

#include <stdint.h>

struct EcPortSet {
  uint8_t CommandPort;  // command/status port
  uint8_t DataPort;
  uint8_t Index;        // stored unchanged, also when it names no set
};

struct EcBoard {
  EcPortSet Ports;          // the selected port set (SelectEcPorts)
  int8_t BlockCount;        // 64 KB blocks to work on, 1 to 4, after the ROM-size rule
  int8_t PartBlockCount;    // the part's own count (size probe or /f): a 192 or 256 KB
                            // part answers its chip erase and a fourth ID byte whatever the image
  uint8_t SectorEraseMode;  // 1: erase by the sector sweep instead of the chip erase
  uint8_t FlashModeReply;   // the EC's qualifying reply to the mode query, else 0;
                            // nonzero selects boot-last programming
  uint32_t SendsNotTaken;   // bytes written to the EC whose IBF wait ran out, over the
                            // whole run: a job judges the EC by the rise over its own traffic
};

extern EcBoard gEcBoard;

// Zeroes the whole record.
void EcBoardReset();
// The part's block count, from the size probe or the user's /f: sets both
// counts (the ROM-size rule may lower BlockCount later). A count outside 1 to 4
// is taken as the nearest of them, so readers never see one.
void EcBoardSetBlockCount(int8_t blocks);
