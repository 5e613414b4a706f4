// The firmware services tarnwick uses, declared once.
//
// Two backends implement this header and the build picks one at link time:
//   platform/uefi/  the real firmware (boot and runtime services, console,
//                   simple file system, shell protocols, in/out port I/O);
//   sim/host_backend/  the simulated machine of sim/, for tests and tools
//                      (and sim/simec/ beside platform/uefi/ for tarnwick-simec.efi).
// Product code (app/, ec/, flash/, image/, power/) only ever includes this
// header and the shared helpers next to it, never a UEFI or C++ library
// header beyond the freestanding ones.
#pragma once

#include <stddef.h>
#include <stdint.h>

using Char16 = char16_t;
using EfiStatus = uint64_t;

// UEFI status codes with their real values. A status is an error when its
// high bit is set; warnings are small positive values.
constexpr EfiStatus kEfiErrorBit = 0x8000000000000000ull;
constexpr EfiStatus EfiErrorCode(uint64_t n) { return kEfiErrorBit | n; }
constexpr EfiStatus kEfiSuccess = 0;
constexpr EfiStatus kEfiLoadError = EfiErrorCode(1);
constexpr EfiStatus kEfiInvalidParameter = EfiErrorCode(2);
constexpr EfiStatus kEfiUnsupported = EfiErrorCode(3);
constexpr EfiStatus kEfiBadBufferSize = EfiErrorCode(4);
constexpr EfiStatus kEfiBufferTooSmall = EfiErrorCode(5);
constexpr EfiStatus kEfiNotReady = EfiErrorCode(6);
constexpr EfiStatus kEfiDeviceError = EfiErrorCode(7);
constexpr EfiStatus kEfiWriteProtected = EfiErrorCode(8);
constexpr EfiStatus kEfiOutOfResources = EfiErrorCode(9);
constexpr EfiStatus kEfiVolumeCorrupted = EfiErrorCode(10);
constexpr EfiStatus kEfiVolumeFull = EfiErrorCode(11);
constexpr EfiStatus kEfiNoMedia = EfiErrorCode(12);
constexpr EfiStatus kEfiMediaChanged = EfiErrorCode(13);
constexpr EfiStatus kEfiNotFound = EfiErrorCode(14);
constexpr EfiStatus kEfiAccessDenied = EfiErrorCode(15);
constexpr EfiStatus kEfiNoResponse = EfiErrorCode(16);
constexpr EfiStatus kEfiNoMapping = EfiErrorCode(17);
constexpr EfiStatus kEfiTimeout = EfiErrorCode(18);
constexpr EfiStatus kEfiAborted = EfiErrorCode(21);
constexpr EfiStatus kEfiWarnDeleteFailure = 2;

constexpr bool EfiIsError(EfiStatus status) { return (status & kEfiErrorBit) != 0; }

// EFI_TIME.
struct EfiTime {
  uint16_t Year;
  uint8_t Month;
  uint8_t Day;
  uint8_t Hour;
  uint8_t Minute;
  uint8_t Second;
  uint8_t Pad1;
  uint32_t Nanosecond;
  int16_t TimeZone;
  uint8_t Daylight;
  uint8_t Pad2;
};
static_assert(sizeof(EfiTime) == 16, "EfiTime must match EFI_TIME");

// EFI_INPUT_KEY.
struct InputKey {
  uint16_t ScanCode;
  Char16 UnicodeChar;
};
static_assert(sizeof(InputKey) == 4, "InputKey must match EFI_INPUT_KEY");

// EFI_FILE_INFO: the record GetInfo fills for the file-information type.
// FileName is variable length; the fixed part ends where it starts.
struct FileInfo {
  uint64_t Size;
  uint64_t FileSize;
  uint64_t PhysicalSize;
  EfiTime CreateTime;
  EfiTime LastAccessTime;
  EfiTime ModificationTime;
  uint64_t Attribute;
  Char16 FileName[1];
};
constexpr size_t kFileInfoFixedSize = 80;  // SIZE_OF_EFI_FILE_INFO
static_assert(offsetof(FileInfo, FileName) == kFileInfoFixedSize, "FileInfo must match EFI_FILE_INFO");

constexpr uint64_t kFileModeRead = 0x1;
constexpr uint64_t kFileModeWrite = 0x2;
constexpr uint64_t kFileModeCreate = 0x8000000000000000ull;
constexpr uint64_t kFileModeReadWrite = kFileModeRead | kFileModeWrite;
constexpr uint64_t kFileModeReadWriteCreate = kFileModeCreate | kFileModeReadWrite;
constexpr uint64_t kFileAttributeDirectory = 0x10;
constexpr uint64_t kFileAttributeArchive = 0x20;

// Text attributes: foreground in the low nibble, background in the high one.
constexpr size_t kAttrNormal = 0x0F;        // white on black
constexpr size_t kAttrProject = 0x3F;       // white on cyan
constexpr size_t kAttrVersion = 0x5F;       // white on magenta
constexpr size_t kAttrChecksum = 0x6F;      // white on brown
constexpr size_t kAttrError = 0x4F;         // white on red
constexpr size_t kAttrAutoload = 0x0E;      // yellow on black
constexpr size_t kAttrRed = 0x04;           // red on black
constexpr size_t kAttrGreen = 0x02;         // green on black
constexpr size_t kAttrBrown = 0x06;         // brown on black

// ---- Console (EFI_SIMPLE_TEXT_OUTPUT / INPUT) --------------------------------
// OutputString writes the text as it stands: no formatting, no line-end
// translation.
void ConOutputString(const Char16* text);
void ConSetAttribute(size_t attribute);
void ConClearScreen();
[[nodiscard]] EfiStatus ConSetCursorPosition(size_t column, size_t row);
void ConEnableCursor(bool visible);
// Blocks until the console input's key event is signalled (WaitForEvent).
void ConWaitForKey();
[[nodiscard]] EfiStatus ConReadKeyStroke(InputKey* key);

// ---- Boot and runtime services -----------------------------------------------
// AllocatePool(EfiBootServicesData); nullptr when the pool refuses.
[[nodiscard]] void* PoolAllocate(size_t size);
void PoolFree(void* buffer);
void Stall(size_t microseconds);
[[nodiscard]] EfiStatus GetTime(EfiTime* time);
// SetWatchdogTimer(0, 0, 0, NULL): the firmware's watchdog stays off, so a
// long flash is never cut by a reset.
void PlatformDisableWatchdog();

// ---- Simple file system and file protocols -----------------------------------
struct FsVolume;             // an EFI_SIMPLE_FILE_SYSTEM_PROTOCOL instance
struct FsFile;               // an EFI_FILE_PROTOCOL instance
using FsHandle = void*;      // an EFI_HANDLE carrying the file system protocol

// LocateProtocol: the first simple file system instance.
[[nodiscard]] EfiStatus FsLocateFirstVolume(FsVolume** volume);
// LocateHandleBuffer(ByProtocol): every handle with the protocol, in firmware
// order. The array is pool memory: free it with PoolFree.
[[nodiscard]] EfiStatus FsLocateVolumeHandles(size_t* count, FsHandle** handles);
// HandleProtocol on one of those handles.
[[nodiscard]] EfiStatus FsHandleVolume(FsHandle handle, FsVolume** volume);
[[nodiscard]] EfiStatus FsOpenVolume(FsVolume* volume, FsFile** root);
[[nodiscard]] EfiStatus FsOpen(FsFile* directory, FsFile** file, const Char16* path, uint64_t mode, uint64_t attributes);
[[nodiscard]] EfiStatus FsClose(FsFile* file);
// Delete always closes the handle; kEfiWarnDeleteFailure when the file stayed.
[[nodiscard]] EfiStatus FsDelete(FsFile* file);
[[nodiscard]] EfiStatus FsRead(FsFile* file, size_t* size, void* buffer);
[[nodiscard]] EfiStatus FsWrite(FsFile* file, size_t* size, const void* buffer);
[[nodiscard]] EfiStatus FsSetPosition(FsFile* file, uint64_t position);
// GetInfo for EFI_FILE_INFO. With a buffer too small (0 included) it answers
// kEfiBufferTooSmall and the size it needs.
[[nodiscard]] EfiStatus FsGetInfo(FsFile* file, size_t* bufferSize, void* buffer);
// SetInfo for EFI_FILE_INFO with a new FileSize: cuts or extends the file.
[[nodiscard]] EfiStatus FsSetFileSize(FsFile* file, uint64_t size);

// ---- Shell -------------------------------------------------------------------
// Argc/Argv from EFI_SHELL_PARAMETERS_PROTOCOL on the image handle.
[[nodiscard]] EfiStatus ShellParametersArgs(size_t* argc, Char16*** argv);
// Argc/Argv from the older EFI_SHELL_INTERFACE on the image handle.
[[nodiscard]] EfiStatus ShellInterfaceArgs(size_t* argc, Char16*** argv);
// The shell's current directory ("FS0:\EC"), or nullptr when it has none.
const Char16* ShellCurrentDirectory();

// ---- x86 port I/O --------------------------------------------------------------
uint8_t PortRead8(uint16_t port);
void PortWrite8(uint16_t port, uint8_t value);

// ---- The application --------------------------------------------------------
// Implemented by app/: everything the image does once the backend has set up
// its service pointers. Returns the image's exit status.
[[nodiscard]] EfiStatus TarnwickEntry();
// The entry hands FlashAppMain's exit code here before it turns the code into
// a status: the simulated machine keeps it for tests and tarnwick-sim's
// summary; the firmware backend does nothing with it.
void PlatformNoteExitCode(int code);
