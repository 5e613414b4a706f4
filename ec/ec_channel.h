// The port channel to the EC: port sets, bounded handshakes, primitives.
// This is the only code that touches the EC's I/O ports.
#pragma once

#include <stdint.h>

#include "ec/board.h"
#include "ec/ec_commands.h"

// Poll bounds, counted in status reads (not time).
constexpr uint32_t kEcSendPollReads = 100002;   // EcSendCommand, EcWriteData
constexpr uint32_t kEcReadPollReads = 100001;   // EcReadByte, every fixed-port wait

// Stores the index and picks its ports; an unknown index gives 0x66/0x62.
void SelectEcPorts(uint8_t index);
// Waits for IBF clear on the selected command port, then writes value there.
// A wait that runs out goes into gEcBoard.SendsNotTaken; the byte goes out anyway.
void EcSendCommand(uint8_t value);
// The same, telling whether IBF cleared within the bound.
[[nodiscard]] bool EcSendCommandChecked(uint8_t value);
// The handshake of the last byte sent: waits for the EC to take it (IBF clear
// within the send bound). False, and counted like a send, when it did not.
[[nodiscard]] bool EcAwaitLastByteTaken();
// Waits for OBF on the selected status port, then reads the selected data
// port. Returns true when OBF came within the bound.
[[nodiscard]] bool EcReadByte(uint8_t* value);
// Waits for IBF clear, then writes value to the selected data port (counted
// like EcSendCommand).
void EcWriteData(uint8_t value);
// The same, telling whether IBF cleared within the bound.
[[nodiscard]] bool EcWriteDataChecked(uint8_t value);
// EC RAM access through the fixed ports (ACPI EC read 0x80, write 0x81).
void EcRamWrite(uint8_t address, uint8_t value);
[[nodiscard]] uint8_t EcRamRead(uint8_t address);
// 0x97, 0x00, seconds, each to the fixed data port 0x62; nothing to 0x66.
void EcArmAutoPowerOn(uint8_t seconds);
// 0x95 to the fixed command port 0x66.
void EcRequestPowerOff();

// Plain reads with no handshake: the selected data port (after a wait of the
// caller's own, as the chip erase's completion byte needs), and one of the
// fixed ports (the AC check takes up whatever the EC left there).
uint8_t EcRawReadDataPort();
uint8_t EcRawReadFixedPort(uint16_t port);

// Bytes the EC put out that nobody read (an ID byte past the ones shown, a
// completion byte) would shift every later read by one. Waits for IBF clear
// within the send bound, then takes whatever is already waiting, without
// waiting for more, at most kEcStaleLimit bytes. One status read on a quiet EC.
constexpr uint32_t kEcStaleLimit = 256;
void EcDiscardStaleOutput();
// Reads and drops what the EC still sends (the unread rest of a block after a
// verify or blank check) until a read runs out its bound: at most one
// block's worth, so a status port that reads all ones cannot keep it going.
constexpr uint32_t kEcDrainLimit = 65536;
void DrainEcOutput();

// Status polls, shared by the channel and the chip erase's completion wait.
// Each makes at most maxReads status reads and returns true when the bit
// reached the wanted state.
[[nodiscard]] bool EcWaitIbfClear(uint16_t statusPort, uint32_t maxReads);
[[nodiscard]] bool EcWaitObfSet(uint16_t statusPort, uint32_t maxReads);
