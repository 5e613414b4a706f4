// A notebook EC at port level, as the host sees it through in/out.
//
// Written in the same freestanding subset as the product code (fixed arrays,
// no library containers, no allocation) so that it can also be linked into a
// firmware build of the tool that flashes a simulated EC.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace sim {

constexpr uint32_t kEcMaxFlashSize = 4 * 65536;
constexpr uint32_t kEcOutputQueueSize = 65536 + 256;
constexpr uint32_t kEcMaxEvents = 64;
constexpr uint32_t kEcMaxFaultBytes = 16;

enum class EcEventKind : uint8_t {
  PowerOff,          // 0x95 on the fixed command port
  AutoPowerOnArmed,  // 0x97 0x00 seconds on the fixed data port; Value = seconds
  WatchdogReset,     // 0xFC seconds in flash mode; Value = seconds
  FlashModeEntered,  // 0xDE then 0xDC
  FlashModeLeft,     // 0xFE (or 0xFC)
  ProtocolViolation, // something the EC's firmware would not accept; Value = offending byte
  OutOfRange,        // an erase, program or read beyond the flash; Value = the address (block for 0x03)
};

struct EcEvent {
  EcEventKind Kind;
  uint32_t Value;
  uint64_t PortOp;  // index of the port operation that caused it
};

// One address whose flash cell misbehaves.
struct EcFlashFault {
  uint32_t Address;
  uint8_t StuckZeroMask;   // bits that read 0 whatever is programmed (a bit stuck at 0)
  bool NeverPrograms;      // programming leaves the cell as it was
  bool ReadsWrong;         // read-back gives the value XOR 0x01
  int8_t EraseLeavesInPass;  // >0: the n-th erase of this byte (chip erase or its sector) leaves it at 0x00
};

// A spell in which the EC is slow to take bytes: right after the host's
// AfterWrites-th write to its ports, IBF shows for the next Reads status
// reads whatever else happens (bytes written meanwhile are still taken unless
// DropWritesWhileIbf), then the EC goes on normally.
struct EcSlowSpell {
  uint64_t AfterWrites;
  uint32_t Reads;
};

struct EcConfig {
  bool Present;               // false: nothing answers; every port reads 0xFF
  uint8_t CommandPortSet;     // a set of kEcPortSets (others: set 1): where the command interface
                              // (0x92, 0x93, flash mode) answers
  uint32_t FlashSize;         // 65,536 .. 262,144, a multiple of 65,536
  uint8_t SizeReply;          // what 0xF9 holds after the 0xB1 size probe
  uint8_t Project[64];        // reply to 0x92, as sent (a '$' is part of it if wanted)
  uint8_t ProjectLength;      // 0: no answer at all
  uint8_t Version[64];        // reply to 0x93
  uint8_t VersionLength;
  // At power-on the EC answers the queries from the identity tags of the
  // image its flash holds, as the firmware it runs knows itself: the value of
  // the first "PRJ:" tag, and of the first "VER:" tag without a leading "1."
  // (the tool shows "1." in front), each up to its '$', at most 16 bytes.
  // A flash without the tag (or with an empty one) leaves the reply above.
  bool ProjectFromFlash;
  bool VersionFromFlash;
  bool HasModeReply;          // false: 0xF0 gets no answer
  uint8_t ModeReply;
  uint8_t Id[8];              // queued by 0x04; the count is the EC's
  uint8_t IdLength;
  uint8_t EraseCompletion[8]; // queued after a chip erase by a 3- or 4-block EC, e.g. 0x01 0x02 0xF8; may be empty
  uint8_t EraseCompletionLength;
  uint8_t AcReadings[8];      // successive values of EC RAM 0x10; the last one repeats
  uint8_t AcReadingsLength;   // 0: 0x10 reads 0x01 (adapter present)
  uint32_t IbfBusyReads;      // status reads for which IBF stays set after each host write
  uint32_t IbfBusyCommandReads;  // and these more after a write to a command port (an EC slow
                                 // to act on commands, quick with data bytes)

  // ---- fault knobs ----
  // A dead EC shows IBF on its status ports for good, takes no more bytes
  // (writes are ignored) and forgets what it had queued, so OBF never comes.
  uint64_t IbfStuckAfterBytes;  // the EC dies right after this many writes to its ports (0: off)
  uint64_t IbfStuckAfterDataBytes;  // the same, counting only writes to a data port (0: off)
  bool IbfStuckForever;         // the EC is dead from the start
  bool ObfNeverSet;             // OBF never comes (bytes still queue; the data port gives them)
  bool ChipEraseNoObf;          // the chip erase's completion bytes queue without raising OBF
  bool DropWritesWhileIbf;      // a byte written while IBF shows is lost (default: taken)
  EcSlowSpell SlowSpells[kEcMaxFaultBytes];  // ibf-slow, in any order
  uint8_t SlowSpellCount;
  uint8_t StaleBytes[kEcMaxFaultBytes];  // unsolicited bytes queued each time StaleBeforeCommand
  uint8_t StaleLength;                   //   arrives as a command, just before its answer
  uint8_t StaleBeforeCommand;
  EcFlashFault FlashFaults[kEcMaxFaultBytes];
  uint8_t FlashFaultCount;
};

// A sensible EC: 192 KB flash, project "TESTPRJ$" and version "01.00$"
// unless the flash's tags say otherwise, mode
// reply 0x00, four-byte ID 0xEF 0x40 0x13 0x00, chip-erase completion 0xF8,
// adapter present, command interface on 0x66/0x62.
void EcConfigDefaults(EcConfig* config);

// The size probe's reply of an EC with a flash of flashSize bytes: 0x80 for
// 256 KB, 0x40 for 192 KB, 0x20 (read as one block) below.
uint8_t EcSizeReplyFor(uint32_t flashSize);

struct EcModel;  // defined in ec_model_state.h; one instance per machine

// Puts the EC in its power-on state with this configuration and flash
// contents (flashBytes may be shorter than the flash: the rest is 0xFF).
void EcModelReset(EcModel* ec, const EcConfig* config, const uint8_t* flashBytes, size_t flashLength);
uint8_t EcModelPortRead(EcModel* ec, uint16_t port);
void EcModelPortWrite(EcModel* ec, uint16_t port, uint8_t value);

// Inspection for tests, tools and the firmware build.
const uint8_t* EcModelFlash(const EcModel* ec);
uint32_t EcModelFlashSize(const EcModel* ec);
bool EcModelInFlashMode(const EcModel* ec);
size_t EcModelEventCount(const EcModel* ec);
const EcEvent* EcModelEvents(const EcModel* ec);
uint8_t EcModelRam(const EcModel* ec, uint8_t address);
// Port operation index at which address was last programmed (0: never).
uint64_t EcModelLastProgrammed(const EcModel* ec, uint32_t address);
// Events that did not fit into the kEcMaxEvents entries.
uint32_t EcModelEventsDropped(const EcModel* ec);
// Port reads and writes made so far (the index that LastProgrammed and events use).
uint64_t EcModelPortOps(const EcModel* ec);
// Bytes queued for the host and not yet read (both interfaces).
uint32_t EcModelPendingOutput(const EcModel* ec);
// True once IBF is stuck for good (IbfStuckForever or IbfStuckAfterBytes).
bool EcModelDead(const EcModel* ec);

}  // namespace sim
