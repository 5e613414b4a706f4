// Pool memory, the watchdog, Stall and the clock.
#include "platform/platform.h"
#include "platform/uefi/efi_headers.h"

void* PoolAllocate(size_t size) {
  void* buffer = nullptr;
  if (EFI_ERROR(gBootServices->AllocatePool(EfiBootServicesData, size, &buffer))) return nullptr;
  return buffer;
}

void PoolFree(void* buffer) {
  if (buffer != nullptr) gBootServices->FreePool(buffer);
}

void PlatformDisableWatchdog() { gBootServices->SetWatchdogTimer(0, 0, 0, nullptr); }

void Stall(size_t microseconds) { gBootServices->Stall(microseconds); }

EfiStatus GetTime(EfiTime* time) {
  static_assert(sizeof(EFI_TIME) == sizeof(EfiTime), "EfiTime must match EFI_TIME");
  return gRuntimeServices->GetTime(reinterpret_cast<EFI_TIME*>(time), nullptr);
}
