// Simple file system and file protocols on the simulated machine: each volume
// is a host directory; names are found the FAT way (case-insensitive, case
// kept). Every fault of sim::Faults for file work is applied here.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/platform.h"
#include "sim/host_state.h"
#include "sim/volumes.h"

namespace {

sim::Faults& Fault() { return sim::gMachine.Config.Fault; }

bool IsNth(int wanted, uint64_t call) { return wanted > 0 && call == static_cast<uint64_t>(wanted); }

// A handle the program holds: anything else is misuse (a closed handle, a
// stray pointer) and is refused before it is touched.
bool Live(FsFile* file, const char* call) {
  if (file != nullptr && sim::gHost.OpenFiles.count(file) != 0) return true;
  sim::gHost.Misuse.push_back(std::string(call) + " on a closed or unknown file handle");
  return false;
}

FsFile* NewHandle(FsVolume* volume, std::vector<std::string> parts, bool directory) {
  FsFile* file = new FsFile;
  file->Volume = volume;
  file->Parts = std::move(parts);
  file->Directory = directory;
  sim::gHost.OpenFiles.insert(file);
  return file;
}

void DropHandle(FsFile* file) {
  if (file->Fd >= 0) ::close(file->Fd);
  sim::gHost.OpenFiles.erase(file);
  delete file;
}

bool KnownVolume(FsVolume* volume) {
  for (const auto& v : sim::gHost.Volumes) {
    if (v.get() == volume) return true;
  }
  return false;
}

std::string HostPath(const FsFile* file) { return sim::HostPathOf(*file->Volume, file->Parts); }

// Fills one EFI_FILE_INFO record; the caller has checked the room.
void FillInfo(void* buffer, size_t recordSize, const std::u16string& name, uint64_t fileSize, bool directory) {
  FileInfo info;
  std::memset(&info, 0, sizeof(info));
  info.Size = recordSize;
  info.FileSize = fileSize;
  info.PhysicalSize = (fileSize + 4095) / 4096 * 4096;
  info.CreateTime = sim::gMachine.Config.Time;
  info.LastAccessTime = sim::gMachine.Config.Time;
  info.ModificationTime = sim::gMachine.Config.Time;
  info.Attribute = directory ? kFileAttributeDirectory : kFileAttributeArchive;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  std::memcpy(out, &info, kFileInfoFixedSize);
  std::memcpy(out + kFileInfoFixedSize, name.c_str(), (name.size() + 1) * sizeof(Char16));
}

size_t InfoSize(const std::u16string& name) { return kFileInfoFixedSize + (name.size() + 1) * sizeof(Char16); }

// The entries of a directory in a stable order (the FAT keeps them in the
// order they were made; the host has no such order, so by name).
std::vector<std::string> DirectoryEntries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (struct dirent* entry = readdir(dir)) names.push_back(entry->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

EfiStatus ReadDirectory(FsFile* file, size_t* size, void* buffer) {
  std::string path = HostPath(file);
  std::vector<std::string> names = DirectoryEntries(path);
  if (file->Position >= names.size()) {
    *size = 0;
    return kEfiSuccess;
  }
  const std::string& name = names[file->Position];
  struct stat st;
  bool directory = false;
  uint64_t fileSize = 0;
  if (stat((path + "/" + name).c_str(), &st) == 0) {
    directory = S_ISDIR(st.st_mode);
    fileSize = directory ? 0 : static_cast<uint64_t>(st.st_size);
  }
  std::u16string name16 = sim::FromUtf8(name);
  size_t needed = InfoSize(name16);
  if (*size < needed) {
    *size = needed;
    return kEfiBufferTooSmall;
  }
  FillInfo(buffer, needed, name16, fileSize, directory);
  *size = needed;
  file->Position++;
  return kEfiSuccess;
}

uint64_t HostFileSize(const FsFile* file) {
  struct stat st;
  if (file->Fd >= 0 && fstat(file->Fd, &st) == 0) return static_cast<uint64_t>(st.st_size);
  return 0;
}

}  // namespace

EfiStatus FsLocateFirstVolume(FsVolume** volume) {
  if (volume == nullptr) return kEfiInvalidParameter;
  if (Fault().NoFileSystem || sim::gHost.Volumes.empty()) return kEfiNotFound;
  *volume = sim::gHost.Volumes.front().get();
  return kEfiSuccess;
}

EfiStatus FsLocateVolumeHandles(size_t* count, FsHandle** handles) {
  if (count == nullptr || handles == nullptr) return kEfiInvalidParameter;
  if (Fault().NoFileSystem || sim::gHost.Volumes.empty()) return kEfiNotFound;
  if (EfiIsError(Fault().LocateHandlesStatus)) return Fault().LocateHandlesStatus;
  size_t n = sim::gHost.Volumes.size();
  FsHandle* array = static_cast<FsHandle*>(PoolAllocate(n * sizeof(FsHandle)));
  if (array == nullptr) return kEfiOutOfResources;
  for (size_t i = 0; i < n; ++i) array[i] = sim::gHost.Volumes[i].get();
  *count = n;
  *handles = array;
  return kEfiSuccess;
}

EfiStatus FsHandleVolume(FsHandle handle, FsVolume** volume) {
  if (volume == nullptr) return kEfiInvalidParameter;
  FsVolume* candidate = static_cast<FsVolume*>(handle);
  if (!KnownVolume(candidate)) return kEfiUnsupported;
  *volume = candidate;
  return kEfiSuccess;
}

EfiStatus FsOpenVolume(FsVolume* volume, FsFile** root) {
  if (root == nullptr || !KnownVolume(volume)) return kEfiInvalidParameter;
  const auto& fails = Fault().OpenVolumeFails;
  if (std::find(fails.begin(), fails.end(), static_cast<int>(volume->Index)) != fails.end()) return kEfiDeviceError;
  struct stat st;
  if (stat(volume->Root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kEfiNoMedia;
  FsFile* file = NewHandle(volume, {}, true);
  file->Root = true;
  file->Writable = true;
  file->OpenedAs = u"\\";
  *root = file;
  return kEfiSuccess;
}

EfiStatus FsOpen(FsFile* directory, FsFile** file, const Char16* path, uint64_t mode, uint64_t attributes) {
  if (!Live(directory, "Open")) return kEfiInvalidParameter;
  if (file == nullptr || path == nullptr) return kEfiInvalidParameter;
  if (mode != kFileModeRead && mode != kFileModeReadWrite && mode != kFileModeReadWriteCreate) {
    return kEfiInvalidParameter;
  }
  bool create = (mode & kFileModeCreate) != 0;
  bool write = (mode & kFileModeWrite) != 0;
  ++sim::gHost.Calls.Open;
  std::u16string given(path);
  for (const auto& fail : Fault().OpenFails) {
    if (sim::SameNameIgnoringCase(fail.first, given)) return fail.second;
  }
  if (create) {
    uint64_t createCall = ++sim::gHost.Calls.Create;
    if (IsNth(Fault().CreateFailCall, createCall)) return kEfiAccessDenied;
    if (!Fault().CreateFailPath.empty() && sim::SameNameIgnoringCase(Fault().CreateFailPath, given)) {
      return kEfiAccessDenied;
    }
  }
  // A relative path needs a directory to start from; an absolute one starts
  // at the volume's root whatever handle it is opened from.
  if (!directory->Directory && (given.empty() || given[0] != u'\\')) return kEfiNotFound;

  sim::ResolvedPath resolved = sim::ResolvePath(*directory->Volume, directory->Parts, given);
  if (EfiIsError(resolved.Status)) return resolved.Status;

  std::vector<std::string> parts = resolved.Parts;
  bool isDirectory = resolved.Directory;
  int fd = -1;
  if (resolved.Exists) {
    if (!isDirectory) {
      fd = ::open(sim::HostPathOf(*directory->Volume, parts).c_str(), write ? O_RDWR : O_RDONLY);
      if (fd < 0) return errno == EACCES || errno == EROFS ? kEfiAccessDenied : kEfiDeviceError;
    }
  } else {
    // Created with the case it was given; never a folder on the way.
    if (!create) return kEfiNotFound;
    if (!sim::ValidNewName(resolved.MissingLeaf)) return kEfiInvalidParameter;
    parts.push_back(resolved.MissingLeaf);
    std::string hostPath = sim::HostPathOf(*directory->Volume, parts);
    if ((attributes & kFileAttributeDirectory) != 0) {
      if (::mkdir(hostPath.c_str(), 0755) != 0) return kEfiAccessDenied;
      isDirectory = true;
    } else {
      fd = ::open(hostPath.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
      if (fd < 0) return kEfiAccessDenied;
    }
  }
  FsFile* opened = NewHandle(directory->Volume, parts, isDirectory);
  opened->Fd = fd;
  opened->Writable = write;
  opened->Root = parts.empty();
  opened->OpenedAs = given;
  *file = opened;
  return kEfiSuccess;
}

EfiStatus FsClose(FsFile* file) {
  if (!Live(file, "Close")) return kEfiInvalidParameter;
  uint64_t call = ++sim::gHost.Calls.Close;
  bool fail = IsNth(Fault().CloseFailCall, call) ||
              (!Fault().CloseFailPath.empty() && sim::SameNameIgnoringCase(Fault().CloseFailPath, file->OpenedAs));
  DropHandle(file);
  return fail ? kEfiDeviceError : kEfiSuccess;
}

EfiStatus FsDelete(FsFile* file) {
  if (!Live(file, "Delete")) return kEfiInvalidParameter;
  uint64_t call = ++sim::gHost.Calls.Delete;
  bool keep = IsNth(Fault().DeleteFailCall, call) || file->Root || !file->Writable;
  std::string path = HostPath(file);
  bool directory = file->Directory;
  DropHandle(file);
  if (keep) return kEfiWarnDeleteFailure;
  int rc = directory ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
  return rc == 0 ? kEfiSuccess : kEfiWarnDeleteFailure;
}

// A program that keeps asking a file for bytes it never gets would spin for
// ever: after this many such Reads in a row the run ends (a test outside a run
// fails at once).
constexpr uint32_t kEmptyReadLimit = 1000;

static void NoteDelivery(size_t asked, size_t got) {
  sim::gHost.EmptyReadsInARow = asked != 0 && got == 0 ? sim::gHost.EmptyReadsInARow + 1 : 0;
  if (sim::gHost.EmptyReadsInARow < kEmptyReadLimit) return;
  sim::gMachine.ReadsStalled = true;
  if (!sim::gHost.Running) throw std::runtime_error("the program keeps reading a file that delivers nothing");
  sim::EndRunPoweredOff("reads-deliver-nothing");
}

EfiStatus FsRead(FsFile* file, size_t* size, void* buffer) {
  if (!Live(file, "Read")) return kEfiInvalidParameter;
  if (size == nullptr || (buffer == nullptr && *size != 0)) return kEfiInvalidParameter;
  uint64_t call = ++sim::gHost.Calls.Read;
  if (IsNth(Fault().ReadFailCall, call)) {
    *size = 0;
    return kEfiDeviceError;
  }
  if (file->Directory) return ReadDirectory(file, size, buffer);
  uint64_t fileSize = HostFileSize(file);
  if (file->Position > fileSize) {
    *size = 0;
    return kEfiDeviceError;
  }
  size_t wanted = *size;
  if (Fault().ReadShortBytes) wanted = std::min(wanted, *Fault().ReadShortBytes);
  if (Fault().ReadStopAt) {
    const uint64_t stop = *Fault().ReadStopAt;
    wanted = file->Position >= stop ? 0 : static_cast<size_t>(std::min<uint64_t>(wanted, stop - file->Position));
  }
  size_t got = 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  while (got < wanted) {
    ssize_t n = ::pread(file->Fd, out + got, wanted - got, static_cast<off_t>(file->Position + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *size = 0;
      return kEfiDeviceError;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  file->Position += got;
  NoteDelivery(*size, got);
  *size = got;
  return kEfiSuccess;
}

EfiStatus FsWrite(FsFile* file, size_t* size, const void* buffer) {
  if (!Live(file, "Write")) return kEfiInvalidParameter;
  if (size == nullptr || (buffer == nullptr && *size != 0)) return kEfiInvalidParameter;
  uint64_t call = ++sim::gHost.Calls.Write;
  if (file->Directory) return kEfiUnsupported;
  if (!file->Writable) return kEfiAccessDenied;
  if (IsNth(Fault().WriteFailCall, call)) {
    *size = 0;
    return kEfiDeviceError;
  }
  size_t wanted = *size;
  if (Fault().WriteShortBytes) wanted = std::min(wanted, *Fault().WriteShortBytes);
  size_t put = 0;
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  while (put < wanted) {
    ssize_t n = ::pwrite(file->Fd, in + put, wanted - put, static_cast<off_t>(file->Position + put));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *size = put;
      file->Position += put;
      return errno == ENOSPC ? kEfiVolumeFull : kEfiDeviceError;
    }
    put += static_cast<size_t>(n);
  }
  file->Position += put;
  *size = put;
  return kEfiSuccess;
}

EfiStatus FsSetPosition(FsFile* file, uint64_t position) {
  if (!Live(file, "SetPosition")) return kEfiInvalidParameter;
  if (file->Directory) {
    if (position != 0) return kEfiUnsupported;
    file->Position = 0;
    return kEfiSuccess;
  }
  file->Position = position == UINT64_MAX ? HostFileSize(file) : position;
  return kEfiSuccess;
}

EfiStatus FsGetInfo(FsFile* file, size_t* bufferSize, void* buffer) {
  if (!Live(file, "GetInfo")) return kEfiInvalidParameter;
  if (bufferSize == nullptr || (buffer == nullptr && *bufferSize != 0)) return kEfiInvalidParameter;
  uint64_t call = ++sim::gHost.Calls.GetInfo;
  if (EfiIsError(Fault().GetInfoStatus)) return Fault().GetInfoStatus;
  if (IsNth(Fault().GetInfoFailCall, call)) return kEfiDeviceError;
  std::u16string name = file->Parts.empty() ? std::u16string() : sim::FromUtf8(file->Parts.back());
  size_t needed = InfoSize(name);
  if (call == 1 && Fault().GetInfoRecordSize && *bufferSize < *Fault().GetInfoRecordSize) {
    *bufferSize = *Fault().GetInfoRecordSize;
    return kEfiBufferTooSmall;
  }
  if (*bufferSize < needed) {
    *bufferSize = needed;
    return kEfiBufferTooSmall;
  }
  uint64_t fileSize = file->Directory ? 0 : HostFileSize(file);
  if (!file->Directory && Fault().GetInfoFileSize) fileSize = *Fault().GetInfoFileSize;
  FillInfo(buffer, needed, name, fileSize, file->Directory);
  *bufferSize = needed;
  return kEfiSuccess;
}

EfiStatus FsSetFileSize(FsFile* file, uint64_t size) {
  if (!Live(file, "SetInfo")) return kEfiInvalidParameter;
  uint64_t call = ++sim::gHost.Calls.SetInfo;
  if (IsNth(Fault().SetInfoFailCall, call)) return kEfiDeviceError;
  if (file->Directory || !file->Writable) return kEfiAccessDenied;
  if (::ftruncate(file->Fd, static_cast<off_t>(size)) != 0) return kEfiDeviceError;
  return kEfiSuccess;
}
