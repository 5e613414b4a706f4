// Loading the image file: the same volume-relative path is tried on every
// file-system volume in firmware order, and the first one that opens it wins.
#include "image/loader.h"

namespace {

// The three pieces of every load failure line, written raw so that a '%' in
// the path stays as it is.
void ReportLoadFailure(const Char16* text, const Char16* path, const Char16* ending) {
  ConOutputString(text);
  ConOutputString(path);
  ConOutputString(ending);
}

constexpr const Char16* kOpenFailed = u"Can not open the input file:";
constexpr const Char16* kShortEnding = u"\n\r";
constexpr const Char16* kLongEnding = u".\n\r";

// Tries the path on every volume. On success *file is the open file; every
// root opened on the way is closed again and the handle array is freed.
EfiStatus OpenOnFirstVolume(const Char16* path, FsFile** file, bool* found) {
  *found = false;
  size_t count = 0;
  FsHandle* handles = nullptr;
  EfiStatus status = FsLocateVolumeHandles(&count, &handles);
  if (EfiIsError(status)) return status;
  for (size_t i = 0; i < count && !*found; i++) {
    FsVolume* volume = nullptr;
    if (EfiIsError(FsHandleVolume(handles[i], &volume))) continue;
    FsFile* root = nullptr;
    if (EfiIsError(FsOpenVolume(volume, &root))) continue;
    if (!EfiIsError(FsOpen(root, file, path, kFileModeRead, 0))) *found = true;
    (void)FsClose(root);
  }
  if (handles != nullptr) PoolFree(handles);
  return kEfiSuccess;
}

// The outcome of one loading step: kEfiSuccess, or the status to return with
// the text and ending of the failure line.
struct StepResult {
  EfiStatus Status;
  const Char16* Text;
  const Char16* Ending;
};

// Reads the file-information record into a new pool buffer (freed by the
// caller, also on failure).
StepResult ReadFileInfo(FsFile* file, FileInfo** info) {
  *info = nullptr;
  size_t size = 0;
  EfiStatus status = FsGetInfo(file, &size, nullptr);
  // A record that cannot even hold the fixed fields tells nothing about size.
  if ((EfiIsError(status) && status != kEfiBufferTooSmall) || size < kFileInfoFixedSize) {
    return {kEfiDeviceError, u"Can not obtain file size info for input file: ", kShortEnding};
  }
  *info = static_cast<FileInfo*>(PoolAllocate(size));
  if (*info == nullptr) {
    return {kEfiOutOfResources, u"Can not allocate enough memory for input file: ", kLongEnding};
  }
  if (EfiIsError(FsGetInfo(file, &size, *info))) {
    return {kEfiDeviceError, u"Can not obtain file data for input file: ", kLongEnding};
  }
  if (size < kFileInfoFixedSize) {
    return {kEfiDeviceError, u"Can not obtain file size info for input file: ", kShortEnding};
  }
  return {kEfiSuccess, nullptr, nullptr};
}

// Reads until fileSize bytes are in: a Read may deliver less than asked.
// *complete stays false when one delivers nothing before the end.
[[nodiscard]] EfiStatus ReadWhole(FsFile* file, uint8_t* data, size_t fileSize, bool* complete) {
  size_t have = 0;
  *complete = false;
  // Each turn brings at least one byte, so there are at most fileSize turns.
  while (have < fileSize) {
    size_t length = fileSize - have;
    const EfiStatus status = FsRead(file, &length, data + have);
    if (EfiIsError(status)) return status;
    if (length == 0) return kEfiSuccess;
    have += length < fileSize - have ? length : fileSize - have;
  }
  *complete = true;
  return kEfiSuccess;
}

// Reads the whole file into a new pool buffer. Data stays nullptr for an
// empty file, and when the file delivered fewer bytes than its size: a
// shorter image would be flashed and verified against itself.
StepResult ReadFileData(FsFile* file, uint64_t fileSize, ImageBuffer* out) {
  out->Data = nullptr;
  out->Length = 0;
  if (fileSize == 0) return {kEfiSuccess, nullptr, nullptr};
  uint8_t* data = nullptr;
  if (fileSize <= static_cast<uint64_t>(static_cast<size_t>(-1))) {
    data = static_cast<uint8_t*>(PoolAllocate(static_cast<size_t>(fileSize)));
  }
  if (data == nullptr) {
    return {kEfiOutOfResources, u"Can not allocate a buffer for input file: ", kLongEnding};
  }
  bool complete = false;
  if (EfiIsError(ReadWhole(file, data, static_cast<size_t>(fileSize), &complete))) {
    PoolFree(data);
    return {kEfiDeviceError, u"Can not read the input file: ", kLongEnding};
  }
  if (!complete) {
    PoolFree(data);
    return {kEfiSuccess, nullptr, nullptr};
  }
  out->Data = data;
  out->Length = fileSize;
  return {kEfiSuccess, nullptr, nullptr};
}

}  // namespace

EfiStatus LoadImageFile(const Char16* path, uint64_t maxLength, ImageBuffer* image) {
  image->Data = nullptr;
  image->Length = 0;

  FsFile* file = nullptr;
  bool found = false;
  EfiStatus status = OpenOnFirstVolume(path, &file, &found);
  if (EfiIsError(status)) return status;
  if (!found) {
    ReportLoadFailure(kOpenFailed, path, kShortEnding);
    return kEfiNotFound;
  }

  FileInfo* info = nullptr;
  ImageBuffer loaded = {nullptr, 0};
  StepResult result = ReadFileInfo(file, &info);
  if (result.Status == kEfiSuccess && (info->Attribute & kFileAttributeDirectory) != 0) {
    // A directory opens like a file but holds no image.
    result = {kEfiNotFound, kOpenFailed, kShortEnding};
  }
  if (result.Status == kEfiSuccess && info->FileSize > maxLength) {
    loaded.Length = info->FileSize;  // refused by its size: a file of gigabytes is never read
  } else if (result.Status == kEfiSuccess) {
    result = ReadFileData(file, info->FileSize, &loaded);
  }
  if (info != nullptr) PoolFree(info);

  const EfiStatus closeStatus = FsClose(file);
  if (result.Status == kEfiSuccess && EfiIsError(closeStatus)) {
    if (loaded.Data != nullptr) PoolFree(loaded.Data);
    result = {kEfiDeviceError, u"Can not close the file input file: ", kLongEnding};
  }
  if (result.Status != kEfiSuccess) {
    ReportLoadFailure(result.Text, path, result.Ending);
    return result.Status;
  }
  *image = loaded;
  return kEfiSuccess;
}
