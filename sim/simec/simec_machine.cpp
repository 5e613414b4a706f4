// The simulated EC behind PortRead8/PortWrite8, and the power it controls.
//
// At start the EC is configured from \SIMEC\EC.CFG and its flash is loaded
// from \SIMEC\FLASH.BIN on the boot volume. The flash is written back before
// the image exits and before every power-off or reset the EC performs: a
// power-off request (0x95) shuts the machine down, or cold-resets it when the
// automatic power-on was armed (0x97); a watchdog reset (0xFC) resets it at
// the EC's next port access or at exit. With QEMU's -no-reboot either ends
// the virtual machine, and starting it again on the same disk is one power
// cycle.
#include "platform/format.h"
#include "platform/text.h"
#include "platform/uefi/efi_headers.h"
#include "platform/uefi/image_hooks.h"
#include "sim/simec/simec.h"
#include "sim/ec_model_state.h"

namespace {

constexpr size_t kConfigMax = 4096;

sim::EcModel* gEc;
size_t gEventsSeen;
bool gAutoPowerOnArmed;
uint32_t gAutoPowerOnSeconds;
bool gWatchdogPending;
uint32_t gWatchdogSeconds;
bool gStarted;

EFI_GUID gLoadedImageGuid = EFI_LOADED_IMAGE_PROTOCOL_GUID;

// The root directory of the volume this image was loaded from.
FsFile* OpenBootRoot() {
  void* interface = nullptr;
  if (EFI_ERROR(gBootServices->HandleProtocol(gImageHandle, &gLoadedImageGuid, &interface)) || !interface) {
    return nullptr;
  }
  auto* loaded = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(interface);
  FsVolume* volume = nullptr;
  FsFile* root = nullptr;
  if (EfiIsError(FsHandleVolume(loaded->DeviceHandle, &volume))) return nullptr;
  if (EfiIsError(FsOpenVolume(volume, &root))) return nullptr;
  return root;
}

void SaveFlash() {
  if (gEc == nullptr) return;
  const EfiStatus status = SimecWriteFile(kSimecFlashPath, sim::EcModelFlash(gEc), sim::EcModelFlashSize(gEc));
  if (EfiIsError(status)) SimecSay(u"tarnwick-simec: could not save \\SIMEC\\FLASH.BIN");
}

[[noreturn]] void PowerDown(EFI_RESET_TYPE type, const Char16* line) {
  SaveFlash();
  ConOutputString(u"\r\n");  // the EC's last word starts a line of its own
  SimecSay(line);
  gRuntimeServices->ResetSystem(type, EFI_SUCCESS, 0, nullptr);
  for (;;) {
  }
}

void WatchdogFires() {
  Char16 line[80];
  FormatString(line, 80, u"tarnwick-simec: EC watchdog reset after %u s: cold reset", gWatchdogSeconds);
  PowerDown(EfiResetCold, line);
}

// Acts on what the EC did since the last look.
void HandleEvents() {
  const size_t count = sim::EcModelEventCount(gEc);
  const sim::EcEvent* events = sim::EcModelEvents(gEc);
  for (; gEventsSeen < count; ++gEventsSeen) {
    const sim::EcEvent& event = events[gEventsSeen];
    switch (event.Kind) {
      case sim::EcEventKind::AutoPowerOnArmed:
        gAutoPowerOnArmed = true;
        gAutoPowerOnSeconds = event.Value;
        break;
      case sim::EcEventKind::WatchdogReset:
        gWatchdogPending = true;
        gWatchdogSeconds = event.Value;
        break;
      case sim::EcEventKind::PowerOff: {
        if (gWatchdogPending) WatchdogFires();
        Char16 line[96];
        if (gAutoPowerOnArmed) {
          FormatString(line, 96, u"tarnwick-simec: EC power-off, automatic power-on in %u s: cold reset",
                       gAutoPowerOnSeconds);
          PowerDown(EfiResetCold, line);
        }
        PowerDown(EfiResetShutdown, u"tarnwick-simec: EC power-off: shutdown");
      }
      default:
        break;
    }
  }
}

}  // namespace

void SimecSay(const Char16* text) {
  ConOutputString(text);
  ConOutputString(u"\r\n");
}

EfiStatus SimecReadFile(const Char16* path, uint8_t* buffer, size_t capacity, size_t* length) {
  *length = 0;
  FsFile* root = OpenBootRoot();
  if (root == nullptr) return kEfiNotFound;
  FsFile* file = nullptr;
  EfiStatus status = FsOpen(root, &file, path, kFileModeRead, 0);
  if (!EfiIsError(status)) {
    size_t size = capacity;
    status = FsRead(file, &size, buffer);
    if (!EfiIsError(status)) *length = size;
    (void)FsClose(file);  // read only: a failed close loses nothing
  }
  (void)FsClose(root);  // a directory: nothing was written to it
  return status;
}

EfiStatus SimecWriteFile(const Char16* path, const uint8_t* data, size_t length) {
  FsFile* root = OpenBootRoot();
  if (root == nullptr) return kEfiNotFound;
  FsFile* file = nullptr;
  EfiStatus status = FsOpen(root, &file, path, kFileModeReadWriteCreate, kFileAttributeArchive);
  if (!EfiIsError(status)) {
    size_t size = length;
    status = FsWrite(file, &size, data);
    if (!EfiIsError(status) && size != length) status = kEfiVolumeFull;
    if (!EfiIsError(status)) status = FsSetFileSize(file, length);
    const EfiStatus closed = FsClose(file);
    if (!EfiIsError(status)) status = closed;
  }
  (void)FsClose(root);  // a directory: nothing was written to it
  return status;
}

bool ImageStart() {
  sim::EcSetup setup;
  sim::EcSetupDefaults(&setup);

  auto* text = static_cast<char*>(PoolAllocate(kConfigMax));
  auto* flash = static_cast<uint8_t*>(PoolAllocate(sim::kEcMaxFlashSize + 1));
  gEc = static_cast<sim::EcModel*>(PoolAllocate(sizeof(sim::EcModel)));
  if (text == nullptr || flash == nullptr || gEc == nullptr) {
    SimecSay(u"tarnwick-simec: not enough memory for the simulated EC");
    return false;
  }
  size_t textLength = 0;
  if (!EfiIsError(SimecReadFile(kSimecConfigPath, reinterpret_cast<uint8_t*>(text), kConfigMax, &textLength)) &&
      !SimecParseConfig(text, textLength, &setup)) {
    return false;
  }
  // FLASH.BIN, or the default flash when there is none; one byte more than
  // a flash can hold is read to tell a file that is too long.
  size_t flashLength = 0;
  if (EfiIsError(SimecReadFile(kSimecFlashPath, flash, sim::kEcMaxFlashSize + 1, &flashLength))) {
    flashLength = sim::kEcDefaultFlashSize;
    sim::EcWriteDefaultFlash(setup.Ec, flash);
  } else if (!sim::EcFlashSizeValid(flashLength)) {
    Char16 line[160];
    FormatString(line, 160, u"tarnwick-simec: \\SIMEC\\FLASH.BIN holds %u bytes; a flash holds 64K, 128K, 192K or 256K",
                 flashLength);
    SimecSay(line);
    return false;
  }
  sim::EcSetupFlashSize(&setup, static_cast<uint32_t>(flashLength));

  MemSet(gEc, 0, sizeof(sim::EcModel));
  sim::EcModelReset(gEc, &setup.Ec, flash, flashLength);
  PoolFree(flash);
  PoolFree(text);
  gStarted = true;

  size_t argc = 0;
  Char16** argv = nullptr;
  const Char16* program = u"?";
  // As the entry takes them: the newer shell's parameters, else the older shell's interface.
  if ((!EfiIsError(ShellParametersArgs(&argc, &argv)) || !EfiIsError(ShellInterfaceArgs(&argc, &argv))) &&
      argc > 0 && argv != nullptr && argv[0] != nullptr) {
    program = argv[0];
  }
  const Char16* directory = ShellCurrentDirectory();
  Char16 reply[8] = u"none";
  if (setup.Ec.HasModeReply) FormatString(reply, 8, u"0x%02X", setup.Ec.ModeReply);
  Char16 line[256];
  FormatString(line, 256,
               u"tarnwick-simec: SIMULATED EC, not the real tool (%uK flash, mode reply %s); Argv[0]=%s; "
               u"current directory %s",
               sim::EcModelFlashSize(gEc) / 1024, reply, program, directory != nullptr ? directory : u"(none)");
  SimecSay(line);
  return true;
}

void ImageExit() {
  if (!gStarted) return;
  if (gWatchdogPending) WatchdogFires();
  SaveFlash();
}

uint8_t PortRead8(uint16_t port) {
  if (gWatchdogPending) WatchdogFires();
  return sim::EcModelPortRead(gEc, port);
}

void PortWrite8(uint16_t port, uint8_t value) {
  if (gWatchdogPending) WatchdogFires();
  sim::EcModelPortWrite(gEc, port, value);
  HandleEvents();
}
