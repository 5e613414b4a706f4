// The image entry: keeps the firmware's pointers, then runs the program.
#include "platform/platform.h"
#include "platform/uefi/efi_headers.h"
#include "platform/uefi/image_hooks.h"
#include "platform/uefi/shell_directory.h"

EFI_HANDLE gImageHandle;
EFI_SYSTEM_TABLE* gSystemTable;
EFI_BOOT_SERVICES* gBootServices;
EFI_RUNTIME_SERVICES* gRuntimeServices;

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE imageHandle, EFI_SYSTEM_TABLE* systemTable) {
  gImageHandle = imageHandle;
  gSystemTable = systemTable;
  gBootServices = systemTable->BootServices;
  gRuntimeServices = systemTable->RuntimeServices;
  EfiStatus status = EFI_LOAD_ERROR;
  if (ImageStart()) {
    status = TarnwickEntry();
    ImageExit();
  }
  ShellReleaseCurrentDirectory();
  return status;
}
