// Saves the whole EC flash to ECRom<MMDDhhmm>.bin in the current directory's
// path on the first volume.
//
// The file is created before flash mode is entered, and flash mode is left
// before the file is written, so the EC is never held in flash mode while the
// file system works. The file and the volume root are closed and the buffers
// freed on every path.
#include "flash/dump.h"

#include "ec/board.h"
#include "ec/ec_channel.h"
#include "flash/block_walk.h"
#include "flash/flash_mode.h"
#include "platform/current_directory.h"
#include "platform/first_volume.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace {

// Pool string with the dump's path; nullptr when the pool refuses.
Char16* FormatDumpName() {
  EfiTime time{};
  if (EfiIsError(GetTime(&time))) time = EfiTime{};
  const Char16* directory = ShellDirectoryPart();
  const bool atRoot = directory[0] == u'\\' && directory[1] == 0;
  const Char16* format = atRoot ? u"%sECRom%02d%02d%02d%02d.bin" : u"%s\\ECRom%02d%02d%02d%02d.bin";
  return FormatAlloc(format, directory, time.Month, time.Day, time.Hour, time.Minute);
}

// Reads every block into buffer with the progress lines. Returns true when
// every byte came within its bound.
bool ReadFlash(uint8_t* buffer, uint32_t blocks) {
  FlashWalk walk;
  FlashWalkStart(&walk, FlashWalkKind::Dump, nullptr, static_cast<uint64_t>(blocks) * kBlockSize);
  walk.Capture = buffer;
  FlashWalkBlocks(&walk, blocks);
  return !walk.Guard.AnyTimeout;
}

// Writes the dump and cuts the file to its size, so a dump over an older,
// larger file of the same name leaves no stale tail. True on success.
bool WriteDump(FsFile* file, const uint8_t* buffer, size_t size) {
  size_t written = size;
  if (EfiIsError(FsWrite(file, &written, buffer)) || written != size) return false;
  return !EfiIsError(FsSetFileSize(file, size));
}

}  // namespace

void DumpEcRom() {
  const uint32_t blocks = FlashBlockCount();
  const size_t dumpSize = static_cast<size_t>(blocks) * kBlockSize;
  const int sizeKb = static_cast<int>(blocks * (kBlockSize / 1024));

  FsFile* root = nullptr;
  FsFile* file = nullptr;
  uint8_t* buffer = nullptr;
  Char16* name = FormatDumpName();
  if (name == nullptr) {
    // Without even the name's few bytes of pool there is no room for the dump.
    Print(u"Can't create %dK buffer memory for read/write\n", sizeKb);
    return;
  }

  root = FsOpenFirstVolumeRoot();
  if (root == nullptr) goto done;
  if (EfiIsError(FsOpen(root, &file, name, kFileModeReadWriteCreate, kFileAttributeArchive))) {
    file = nullptr;
    Print(u"Can't create file: %s, (Err. No. :%d)\n", name, kFileJobErrorNumber);
    goto done;
  }
  buffer = static_cast<uint8_t*>(PoolAllocate(dumpSize));
  if (buffer == nullptr) {
    Print(u"Can't create %dK buffer memory for read/write\n", sizeKb);
    goto done;
  }

  {
    EnterFlashMode();
    Print(u"It get data to buufer, then write to file\n");
    const bool complete = ReadFlash(buffer, blocks);
    ExitFlashMode();

    Print(u"Waitting to write data to the input file : %s", name);
    if (!WriteDump(file, buffer, dumpSize)) {
      Print(u"Can't write data to file: %s, (Err. No. :%d)\n", name, kFileJobErrorNumber);
    }
    if (!complete) Print(u"EC did not answer every read, the dump is not complete\n");
  }

done:
  if (file != nullptr && EfiIsError(FsClose(file))) {
    Print(u"Can not close the input file: %s, (Err. No.: %d)\n", name, kFileJobErrorNumber);
  }
  if (root != nullptr) (void)FsClose(root);  // a directory: nothing was written to it
  if (buffer != nullptr) PoolFree(buffer);
  PoolFree(name);
}
