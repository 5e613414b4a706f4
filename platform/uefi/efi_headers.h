// gnu-efi's headers, for their types, protocol layouts and GUID values only:
// nothing of libefi is linked. Only platform/uefi/ includes this.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {
#include <efi.h>
#include <efishellintf.h>
}

// Set by efi_main before anything else runs.
extern EFI_HANDLE gImageHandle;
extern EFI_SYSTEM_TABLE* gSystemTable;
extern EFI_BOOT_SERVICES* gBootServices;
extern EFI_RUNTIME_SERVICES* gRuntimeServices;

// Firmware strings are CHAR16 (uint16_t); the program's are char16_t.
inline CHAR16* ToEfiString(const Char16* text) {
  return reinterpret_cast<CHAR16*>(const_cast<Char16*>(text));
}
