// Simple file system and file protocols.
//
// FsVolume and FsFile are never defined: the pointers the program holds are
// the firmware's own protocol instances, cast on the way in and out.
#include "platform/platform.h"
#include "platform/uefi/efi_headers.h"

namespace {

EFI_GUID gFileSystemGuid = EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID;
EFI_GUID gFileInfoGuid = EFI_FILE_INFO_ID;

EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* AsVolume(FsVolume* volume) {
  return reinterpret_cast<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL*>(volume);
}
EFI_FILE_PROTOCOL* AsFile(FsFile* file) { return reinterpret_cast<EFI_FILE_PROTOCOL*>(file); }

}  // namespace

static_assert(offsetof(EFI_FILE_INFO, FileName) == kFileInfoFixedSize, "FileInfo must match EFI_FILE_INFO");

EfiStatus FsLocateFirstVolume(FsVolume** volume) {
  void* interface = nullptr;
  const EFI_STATUS status = gBootServices->LocateProtocol(&gFileSystemGuid, nullptr, &interface);
  *volume = EFI_ERROR(status) ? nullptr : static_cast<FsVolume*>(interface);
  return status;
}

EfiStatus FsLocateVolumeHandles(size_t* count, FsHandle** handles) {
  UINTN found = 0;
  EFI_HANDLE* buffer = nullptr;
  const EFI_STATUS status = gBootServices->LocateHandleBuffer(ByProtocol, &gFileSystemGuid, nullptr, &found, &buffer);
  if (EFI_ERROR(status)) {
    *count = 0;
    *handles = nullptr;
    return status;
  }
  *count = found;
  *handles = reinterpret_cast<FsHandle*>(buffer);
  return status;
}

EfiStatus FsHandleVolume(FsHandle handle, FsVolume** volume) {
  void* interface = nullptr;
  const EFI_STATUS status = gBootServices->HandleProtocol(handle, &gFileSystemGuid, &interface);
  *volume = EFI_ERROR(status) ? nullptr : static_cast<FsVolume*>(interface);
  return status;
}

EfiStatus FsOpenVolume(FsVolume* volume, FsFile** root) {
  EFI_FILE_PROTOCOL* file = nullptr;
  const EFI_STATUS status = AsVolume(volume)->OpenVolume(AsVolume(volume), &file);
  *root = EFI_ERROR(status) ? nullptr : reinterpret_cast<FsFile*>(file);
  return status;
}

EfiStatus FsOpen(FsFile* directory, FsFile** file, const Char16* path, uint64_t mode, uint64_t attributes) {
  EFI_FILE_PROTOCOL* opened = nullptr;
  const EFI_STATUS status =
      AsFile(directory)->Open(AsFile(directory), &opened, ToEfiString(path), mode, attributes);
  *file = EFI_ERROR(status) ? nullptr : reinterpret_cast<FsFile*>(opened);
  return status;
}

EfiStatus FsClose(FsFile* file) { return AsFile(file)->Close(AsFile(file)); }

EfiStatus FsDelete(FsFile* file) { return AsFile(file)->Delete(AsFile(file)); }

EfiStatus FsRead(FsFile* file, size_t* size, void* buffer) {
  UINTN n = *size;
  const EFI_STATUS status = AsFile(file)->Read(AsFile(file), &n, buffer);
  *size = n;
  return status;
}

EfiStatus FsWrite(FsFile* file, size_t* size, const void* buffer) {
  UINTN n = *size;
  const EFI_STATUS status = AsFile(file)->Write(AsFile(file), &n, const_cast<void*>(buffer));
  *size = n;
  return status;
}

EfiStatus FsSetPosition(FsFile* file, uint64_t position) {
  return AsFile(file)->SetPosition(AsFile(file), position);
}

EfiStatus FsGetInfo(FsFile* file, size_t* bufferSize, void* buffer) {
  UINTN n = *bufferSize;
  const EFI_STATUS status = AsFile(file)->GetInfo(AsFile(file), &gFileInfoGuid, &n, buffer);
  *bufferSize = n;
  return status;
}

// SetInfo takes a whole EFI_FILE_INFO: read the current record, change its
// FileSize and hand it back. The record lives in pool memory because its
// name part has no fixed length.
EfiStatus FsSetFileSize(FsFile* file, uint64_t size) {
  UINTN needed = 0;
  EFI_STATUS status = AsFile(file)->GetInfo(AsFile(file), &gFileInfoGuid, &needed, nullptr);
  if (status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(status) ? status : EFI_DEVICE_ERROR;
  void* record = nullptr;
  status = gBootServices->AllocatePool(EfiBootServicesData, needed, &record);
  if (EFI_ERROR(status)) return status;
  status = AsFile(file)->GetInfo(AsFile(file), &gFileInfoGuid, &needed, record);
  if (!EFI_ERROR(status)) {
    static_cast<EFI_FILE_INFO*>(record)->FileSize = size;
    status = AsFile(file)->SetInfo(AsFile(file), &gFileInfoGuid, needed, record);
  }
  gBootServices->FreePool(record);
  return status;
}
