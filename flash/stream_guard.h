// Keeps a dead EC from stretching one block's data stream into hours.
//
// Within one block's stream (image bytes out, or flash bytes in), after
// kStreamTimeoutLimit handshakes in a row that ran out their bound, the rest
// of that block's stream is skipped: bytes not read count as bad, bytes not
// written are not sent. A working EC never times out that often in a row.
#pragma once

#include <stdint.h>

constexpr uint32_t kStreamTimeoutLimit = 16;

struct FlashStreamGuard {
  uint32_t ConsecutiveTimeouts;
  bool Abandoned;    // the rest of this block's stream is skipped
  bool AnyTimeout;   // some byte since the guard was zeroed timed out or was skipped
};

// Starts a new block's stream (AnyTimeout is kept: zero the guard once per operation).
void FlashStreamGuardStart(FlashStreamGuard* guard);
// EcReadByte unless the stream was abandoned. True when the byte came within
// its bound; on false *value is what the data port gave (0xFF when skipped).
[[nodiscard]] bool FlashStreamReadByte(FlashStreamGuard* guard, uint8_t* value);
// EcWriteData unless the stream was abandoned.
void FlashStreamWriteByte(FlashStreamGuard* guard, uint8_t value);
