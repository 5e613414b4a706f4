// Keeps a dead EC from stretching a flash operation into hours.
//
// A working EC never lets kEcTimeoutRunLimit handshakes in a row run out
// their bound. Within one block's stream (image bytes out, or flash bytes in),
// after that many in a row the rest of that block's stream is skipped: bytes
// not read count as bad, bytes not written are not sent. The sector sweeps
// count whole sector commands the same way.
#pragma once

#include <stdint.h>

constexpr uint32_t kEcTimeoutRunLimit = 16;

// Handshakes (or sector commands) in a row that the EC missed.
struct FlashTimeoutRun {
  uint32_t InARow;
};

// Counts one handshake: a miss lengthens the run, one in time ends it. True
// once the run has reached kEcTimeoutRunLimit.
[[nodiscard]] bool FlashTimeoutRunCount(FlashTimeoutRun* run, bool inTime);

struct FlashStreamGuard {
  FlashTimeoutRun Run;
  bool Abandoned;    // the rest of this block's stream is skipped
  uint32_t Missed;   // bytes since the guard was zeroed that timed out or were skipped
};

// Starts a new block's stream (Missed is kept: zero the guard once per operation).
void FlashStreamGuardStart(FlashStreamGuard* guard);
// EcReadByte unless the stream was abandoned. True when the byte came within
// its bound; on false *value is what the data port gave (0xFF when skipped).
[[nodiscard]] bool FlashStreamReadByte(FlashStreamGuard* guard, uint8_t* value);
// EcWriteData unless the stream was abandoned.
void FlashStreamWriteByte(FlashStreamGuard* guard, uint8_t value);
