#include "flash/stream_guard.h"

#include "ec/ec_channel.h"

namespace {

void Count(FlashStreamGuard* guard, bool inTime) {
  if (inTime) {
    guard->ConsecutiveTimeouts = 0;
    return;
  }
  guard->AnyTimeout = true;
  if (++guard->ConsecutiveTimeouts >= kStreamTimeoutLimit) guard->Abandoned = true;
}

}  // namespace

void FlashStreamGuardStart(FlashStreamGuard* guard) {
  guard->ConsecutiveTimeouts = 0;
  guard->Abandoned = false;
}

bool FlashStreamReadByte(FlashStreamGuard* guard, uint8_t* value) {
  if (guard->Abandoned) {
    *value = 0xFF;
    return false;
  }
  bool came = EcReadByte(value);
  Count(guard, came);
  return came;
}

void FlashStreamWriteByte(FlashStreamGuard* guard, uint8_t value) {
  if (guard->Abandoned) return;
  Count(guard, EcWriteDataChecked(value));
}
