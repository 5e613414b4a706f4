#include "flash/stream_guard.h"

#include "ec/ec_channel.h"

bool FlashTimeoutRunCount(FlashTimeoutRun* run, bool inTime) {
  run->InARow = inTime ? 0 : run->InARow + 1;
  return run->InARow >= kEcTimeoutRunLimit;
}

namespace {

void Count(FlashStreamGuard* guard, bool inTime) {
  if (!inTime) guard->Missed++;
  if (FlashTimeoutRunCount(&guard->Run, inTime)) guard->Abandoned = true;
}

}  // namespace

void FlashStreamGuardStart(FlashStreamGuard* guard) {
  guard->Run.InARow = 0;
  guard->Abandoned = false;
}

bool FlashStreamReadByte(FlashStreamGuard* guard, uint8_t* value) {
  if (guard->Abandoned) {
    *value = 0xFF;
    guard->Missed++;
    return false;
  }
  bool came = EcReadByte(value);
  Count(guard, came);
  return came;
}

void FlashStreamWriteByte(FlashStreamGuard* guard, uint8_t value) {
  if (guard->Abandoned) {
    guard->Missed++;
    return;
  }
  Count(guard, EcWriteDataChecked(value));
}
