// The shell's arguments and current directory.
#include "platform/platform.h"
#include "platform/shell_choice.h"
#include "platform/uefi/efi_headers.h"
#include "platform/uefi/shell_directory.h"

namespace {

EFI_GUID gShellParametersGuid = EFI_SHELL_PARAMETERS_PROTOCOL_GUID;
EFI_GUID gShellInterfaceGuid = SHELL_INTERFACE_PROTOCOL_GUID;
EFI_GUID gShellGuid = EFI_SHELL_PROTOCOL_GUID;

// The older shell's environment protocol (the one that comes with
// EFI_SHELL_INTERFACE). gnu-efi does not carry it. Its first members are
// the same in every version; only CurDir is called here.
EFI_GUID gShellEnvironmentGuid = {0x47c7b221, 0xc42a, 0x11d2, {0x8e, 0x57, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b}};

struct ShellEnvironment {
  void* Execute;
  void* GetEnv;
  void* GetMap;
  void* AddCmd;
  void* AddProt;
  void* GetProt;
  // The current directory of the named mapping, or of the current one for
  // NULL ("fs0:\EC"); a new pool string that the caller frees, or NULL.
  CHAR16*(EFIAPI* CurDir)(CHAR16* DeviceName);
  // FileMetaArg, FreeFileList and the rest follow; not used.
};
static_assert(offsetof(ShellEnvironment, CurDir) == 6 * sizeof(void*), "CurDir is the seventh member");

// The older shell's answer, kept for the whole run (the current directory
// does not change while the program runs) and freed at image exit, so every
// caller may hold on to the pointer as it does with the newer shell's.
CHAR16* gOlderShellDirectory;

EFI_STATUS OpenOnImage(EFI_GUID* guid, void** interface) {
  *interface = nullptr;
  return gBootServices->OpenProtocol(gImageHandle, guid, interface, gImageHandle, nullptr,
                                     EFI_OPEN_PROTOCOL_GET_PROTOCOL);
}

bool OnImage(EFI_GUID* guid) {
  void* interface = nullptr;
  return !EFI_ERROR(OpenOnImage(guid, &interface)) && interface != nullptr;
}

void* Located(EFI_GUID* guid) {
  void* interface = nullptr;
  if (EFI_ERROR(gBootServices->LocateProtocol(guid, nullptr, &interface))) return nullptr;
  return interface;
}

const Char16* OlderShellCurrentDirectory(ShellEnvironment* environment) {
  if (gOlderShellDirectory == nullptr) gOlderShellDirectory = environment->CurDir(nullptr);
  return reinterpret_cast<const Char16*>(gOlderShellDirectory);
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

// The directory of the shell that started the program (platform/shell_choice.h).
// The newer shell's string belongs to the shell; the older one's is kept.
const Char16* ShellCurrentDirectory() {
  auto* newer = static_cast<EFI_SHELL_PROTOCOL*>(Located(&gShellGuid));
  auto* older = static_cast<ShellEnvironment*>(Located(&gShellEnvironmentGuid));
  const ShellProtocols offered{OnImage(&gShellParametersGuid), OnImage(&gShellInterfaceGuid),
                               newer != nullptr && newer->GetCurDir != nullptr,
                               older != nullptr && older->CurDir != nullptr};
  switch (DirectoryShellFor(offered)) {
    case DirectoryShell::Newer:
      return reinterpret_cast<const Char16*>(newer->GetCurDir(nullptr));
    case DirectoryShell::Older:
      return OlderShellCurrentDirectory(older);
    case DirectoryShell::None:
      break;
  }
  return nullptr;
}

void ShellReleaseCurrentDirectory() {
  if (gOlderShellDirectory != nullptr) gBootServices->FreePool(gOlderShellDirectory);
  gOlderShellDirectory = nullptr;
}
