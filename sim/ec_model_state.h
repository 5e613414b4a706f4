// The inside of the simulated EC: its flash, RAM, the two host interfaces
// (ACPI EC RAM on 0x66/0x62 and the command interface on the configured port
// set) and the flash-mode interpreter. Tests and the machine hold one of these;
// everything outside sim/ec_model*.cpp goes through the functions of
// ec_model.h.
#pragma once

#include "sim/ec_model.h"

namespace sim {

// One host interface of the EC: a status register and an output queue.
// When the command interface sits on 0x66/0x62 both interfaces share one.
struct EcInterface {
  uint16_t CommandPort;
  uint16_t DataPort;
  bool Ibf;                  // input buffer full: the EC has not taken the last byte yet
  uint32_t IbfReadsLeft;     // status reads that still show IBF set
  uint32_t QueueHead;        // ring buffer of bytes the host has yet to read
  uint32_t QueueCount;
  uint8_t Queue[kEcOutputQueueSize];
};

// What the EC waits for next on a multi-byte message.
enum class EcRamStep : uint8_t { Idle, ReadAddress, WriteAddress, WriteValue };
enum class EcMessageStep : uint8_t { Idle, PowerOnZero, PowerOnSeconds };
enum class EcFlashStep : uint8_t {
  Idle,          // between commands
  Params,        // collecting parameter bytes of FlashCommand
  Programming,   // data-port bytes program at ProgramAddress
};

struct EcModel {
  EcConfig Config;
  uint64_t PortOps;          // port reads and writes so far (every call counts)
  uint64_t HostWrites;       // writes to this EC's ports (for IbfStuckAfterBytes)
  bool Dead;                 // IBF stuck for good; the EC takes no more bytes

  EcInterface Acpi;          // 0x66/0x62
  EcInterface Command;       // the command interface's port set (unused when shared)
  bool Shared;               // the command interface is on 0x66/0x62 too

  uint8_t Ram[256];
  uint8_t AcReadIndex;       // next entry of Config.AcReadings for a read of 0x10
  EcRamStep RamStep;
  uint8_t RamAddress;
  EcMessageStep MessageStep;

  // Flash-mode interpreter.
  bool FlashMode;
  bool ExpectDc;             // 0xDE seen; the next byte must be 0xDC
  EcFlashStep FlashStep;
  uint8_t FlashCommand;      // command whose parameters are being collected
  uint8_t ParamCount;        // parameters collected so far
  uint8_t ParamsWanted;
  uint8_t Params[4];
  uint32_t ProgramAddress;
  bool ProgramOutOfRangeSeen;  // one OutOfRange event per program command
  uint32_t ChipErasePasses;  // whole-flash erases so far

  uint32_t FlashSize;
  uint8_t Flash[kEcMaxFlashSize];
  uint64_t LastProgrammed[kEcMaxFlashSize];

  uint32_t EventCount;       // events recorded (at most kEcMaxEvents)
  uint32_t EventsDropped;    // events that no longer fitted
  EcEvent Events[kEcMaxEvents];
};

}  // namespace sim
