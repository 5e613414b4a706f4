// The inside of the simulated EC: its flash, RAM, the two host interfaces
// (ACPI EC RAM on 0x66/0x62 and the command interface on the configured port
// set) and the flash-mode interpreter. The machine and the tests hold one of
// these; everything outside sim/ec_model*.cpp and sim/ec_flash*.cpp goes
// through the functions of ec_model.h.
#pragma once

#include "ec/ec_commands.h"
#include "sim/ec_model.h"

namespace sim {

// One host interface of the EC: a status register and an output queue.
// When the command interface sits on 0x66/0x62 both roles share one.
struct EcInterface {
  bool Ibf;                  // the EC has not taken the host's last byte yet
  uint32_t IbfReadsLeft;     // status reads that still show IBF before it clears
  uint32_t QueueHead;        // ring buffer of bytes the host has yet to read
  uint32_t QueueCount;
  uint64_t Popped;           // bytes taken from the queue so far
  uint64_t QuietStart;       // queue bytes numbered [QuietStart, QuietEnd) raise no OBF
  uint64_t QuietEnd;
  uint8_t Latch;             // what the data port gives when the queue is empty
  uint8_t Queue[kEcOutputQueueSize];
};

enum class EcRamStep : uint8_t { Idle, ReadAddress, WriteAddress, WriteValue };
enum class EcMessageStep : uint8_t { Idle, PowerOnZero, PowerOnSeconds };
enum class EcFlashStep : uint8_t {
  Idle,         // between commands
  Params,       // collecting the parameter bytes of FlashCommand
  Programming,  // data-port bytes program at ProgramAddress
};

constexpr uint8_t kEcNoInterface = 0xFF;
constexpr uint8_t kEcDataPortRole = 0x80;

struct EcModel {
  EcConfig Config;
  uint64_t PortOps;          // port reads and writes so far (every call counts)
  uint64_t HostWrites;       // writes to this EC's ports (IbfStuckAfterBytes counts these)
  uint64_t DataWrites;       // the ones to a data port (IbfStuckAfterDataBytes)
  bool Dead;                 // IBF stuck for good: the EC takes no more bytes
  uint32_t SlowReadsLeft;    // status reads that still show IBF in a slow spell

  // Per 8-bit port: which interface answers there (kEcNoInterface: none),
  // with kEcDataPortRole added on that interface's data port.
  uint8_t PortRole[256];
  EcInterface Interfaces[2]; // [0]: ACPI on 0x66/0x62, [1]: command interface elsewhere
  uint8_t CommandInterface;  // 0 when the command interface shares 0x66/0x62, else 1
  uint16_t CommandPort;      // the command interface's command/status port
  uint16_t CommandDataPort;  // and its data port

  uint8_t Ram[256];
  uint8_t AcReadIndex;       // next entry of Config.AcReadings for a read of 0x10
  EcRamStep RamStep;
  uint8_t RamAddress;
  EcMessageStep MessageStep;

  // Flash-mode interpreter.
  bool FlashMode;
  bool ExpectDc;             // 0xDE taken; the next byte written must be 0xDC
  EcFlashStep FlashStep;
  uint8_t FlashCommand;      // command whose parameters are being collected
  uint8_t ParamCount;
  uint8_t ParamsWanted;
  uint8_t Params[4];
  uint32_t ProgramAddress;
  bool OutOfRangeReported;   // one OutOfRange event per command
  uint32_t FaultEraseCount[kEcMaxFaultBytes];  // erases so far of each fault's address

  uint32_t FlashSize;
  uint8_t Flash[kEcMaxFlashSize];
  uint64_t LastProgrammed[kEcMaxFlashSize];

  uint32_t EventCount;       // events recorded (at most kEcMaxEvents)
  uint32_t EventsDropped;    // events that no longer fitted
  uint32_t QueueOverflows;   // bytes the EC could not queue
  EcEvent Events[kEcMaxEvents];
};

// Shared by the interface code and the flash-mode interpreter.
void EcRecordEvent(EcModel* ec, EcEventKind kind, uint32_t value);
void EcQueueBytes(EcModel* ec, EcInterface* target, const uint8_t* bytes, uint32_t count);
void EcQueueFill(EcModel* ec, EcInterface* target, uint8_t value, uint32_t count);
inline EcInterface* EcCommandInterface(EcModel* ec) { return &ec->Interfaces[ec->CommandInterface]; }

// Flash-mode interpreter (ec_flash_interpreter.cpp).
void EcFlashCommand(EcModel* ec, uint8_t value);     // a command byte in flash mode
void EcFlashParameter(EcModel* ec, uint8_t value);   // a parameter byte of the pending command
void EcFlashData(EcModel* ec, uint8_t value);        // a data-port byte while programming
void EcFlashApplyResetFaults(EcModel* ec);           // stuck-at-0 bits of the initial contents

}  // namespace sim
