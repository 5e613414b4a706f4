// The shell's arguments and current directory.
#include "platform/platform.h"
#include "platform/uefi/efi_headers.h"

namespace {

EFI_GUID gShellParametersGuid = EFI_SHELL_PARAMETERS_PROTOCOL_GUID;
EFI_GUID gShellInterfaceGuid = SHELL_INTERFACE_PROTOCOL_GUID;
EFI_GUID gShellGuid = EFI_SHELL_PROTOCOL_GUID;

EFI_STATUS OpenOnImage(EFI_GUID* guid, void** interface) {
  *interface = nullptr;
  return gBootServices->OpenProtocol(gImageHandle, guid, interface, gImageHandle, nullptr,
                                     EFI_OPEN_PROTOCOL_GET_PROTOCOL);
}

}  // namespace

EfiStatus ShellParametersArgs(size_t* argc, Char16*** argv) {
  void* interface = nullptr;
  const EFI_STATUS status = OpenOnImage(&gShellParametersGuid, &interface);
  if (EFI_ERROR(status) || interface == nullptr) return EFI_ERROR(status) ? status : EFI_UNSUPPORTED;
  auto* parameters = static_cast<EFI_SHELL_PARAMETERS_PROTOCOL*>(interface);
  *argc = parameters->Argc;
  *argv = reinterpret_cast<Char16**>(parameters->Argv);
  return EFI_SUCCESS;
}

EfiStatus ShellInterfaceArgs(size_t* argc, Char16*** argv) {
  void* interface = nullptr;
  const EFI_STATUS status = OpenOnImage(&gShellInterfaceGuid, &interface);
  if (EFI_ERROR(status) || interface == nullptr) return EFI_ERROR(status) ? status : EFI_UNSUPPORTED;
  auto* shell = static_cast<EFI_SHELL_INTERFACE*>(interface);
  *argc = shell->Argc;
  *argv = reinterpret_cast<Char16**>(shell->Argv);
  return EFI_SUCCESS;
}

const Char16* ShellCurrentDirectory() {
  void* interface = nullptr;
  if (EFI_ERROR(gBootServices->LocateProtocol(&gShellGuid, nullptr, &interface)) || interface == nullptr) {
    return nullptr;
  }
  auto* shell = static_cast<EFI_SHELL_PROTOCOL*>(interface);
  return reinterpret_cast<const Char16*>(shell->GetCurDir(nullptr));
}
