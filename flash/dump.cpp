// Saves the whole EC flash to ECRom<MMDDhhmm>.bin in the current directory's
// path on the first volume.
//
// The file is created before flash mode is entered, and flash mode is left
// before the file is written, so the EC is never held in flash mode while the
// file system works. A dump is a backup only when the EC took every command
// byte and answered every data byte in time; otherwise it is kept as
// ECRom<MMDDhhmm>.bad, and the .bin name is left as it was before (a file the
// dump itself created is removed again). The files and the volume root are
// closed and the buffers freed on every path.
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

// Pool string with the dump's path and the given extension ("bin", "bad");
// nullptr when the pool refuses.
Char16* FormatDumpName(const EfiTime& time, const Char16* extension) {
  const Char16* directory = ShellDirectoryPart();
  return FormatAlloc(u"%s%sECRom%02d%02d%02d%02d.%s", directory, ShellDirectorySeparator(directory), time.Month,
                     time.Day, time.Hour, time.Minute, extension);
}

// Reads every block into buffer with the progress lines. Returns how many
// bytes did not come within their bound (or were skipped after the EC stopped
// answering).
uint32_t ReadFlash(uint8_t* buffer, uint32_t blocks) {
  FlashWalk walk;
  FlashWalkStart(&walk, FlashWalkKind::Dump, nullptr, static_cast<uint64_t>(blocks) * kBlockSize);
  walk.Capture = buffer;
  FlashWalkBlocks(&walk, blocks);
  return walk.Guard.Missed;
}

// Writes the dump and cuts the file to its size, so a dump over an older,
// larger file of the same name leaves no stale tail. True on success.
bool WriteDump(FsFile* file, const uint8_t* buffer, size_t size) {
  size_t written = size;
  if (EfiIsError(FsWrite(file, &written, buffer)) || written != size) return false;
  return !EfiIsError(FsSetFileSize(file, size));
}

// Writes the buffer to the open file, closes it and reports each failure.
DumpOutcome SaveTo(FsFile* file, const Char16* name, const uint8_t* buffer, size_t size, DumpOutcome outcome) {
  Print(u"Waitting to write data to the input file : %s", name);
  if (!WriteDump(file, buffer, size)) {
    Print(u"Can't write data to file: %s, (Err. No. :%d)\n", name, kFileJobErrorNumber);
    outcome = outcome == DumpOutcome::Saved ? DumpOutcome::NotSaved : outcome;
  }
  if (EfiIsError(FsClose(file))) {
    Print(u"Can not close the input file: %s, (Err. No.: %d)\n", name, kFileJobErrorNumber);
    outcome = outcome == DumpOutcome::Saved ? DumpOutcome::NotSaved : outcome;
  }
  return outcome;
}

// True when the open file holds no bytes (the dump created it, or found it
// empty). False when that cannot be told.
bool FileIsEmpty(FsFile* file) {
  uint64_t record[(kFileInfoFixedSize + 2 * 64) / sizeof(uint64_t)];
  size_t size = sizeof(record);
  if (EfiIsError(FsGetInfo(file, &size, record)) || size < kFileInfoFixedSize) return false;
  return reinterpret_cast<const FileInfo*>(record)->FileSize == 0;
}

// The .bin file the dump opened is given up: removed when the dump created
// it (or it was empty), closed unchanged when it holds an earlier dump.
void GiveUpBackupName(FsFile* file) {
  if (FileIsEmpty(file)) {
    (void)FsDelete(file);  // closes the handle; an empty file left behind holds no backup
  } else {
    (void)FsClose(file);   // nothing was written to it
  }
}

// An incomplete dump: the bytes go to the .bad file beside the backup name.
DumpOutcome SaveIncomplete(FsFile* root, const EfiTime& time, const uint8_t* buffer, size_t size,
                           uint32_t unanswered, uint32_t notTaken) {
  Char16* badName = FormatDumpName(time, u"bad");
  if (badName == nullptr) {
    Print(u"Can't create %dK buffer memory for read/write\n", static_cast<int>(size / 1024));
    return DumpOutcome::Incomplete;
  }
  FsFile* bad = nullptr;
  if (EfiIsError(FsOpen(root, &bad, badName, kFileModeReadWriteCreate, kFileAttributeArchive))) {
    Print(u"Can't create file: %s, (Err. No. :%d)\n", badName, kFileJobErrorNumber);
  } else {
    (void)SaveTo(bad, badName, buffer, size, DumpOutcome::Incomplete);
    Print(u"\n");
  }
  Print(u"The dump is not complete: the EC did not answer %d of %d bytes and did not take %d command bytes. "
        u"It is no backup.\n",
        static_cast<int>(unanswered), static_cast<int>(size), static_cast<int>(notTaken));
  PoolFree(badName);
  return DumpOutcome::Incomplete;
}

}  // namespace

DumpOutcome DumpEcRom() {
  const uint32_t blocks = FlashBlockCount();
  const size_t dumpSize = static_cast<size_t>(blocks) * kBlockSize;
  const int sizeKb = static_cast<int>(blocks * (kBlockSize / 1024));

  EfiTime time{};
  if (EfiIsError(GetTime(&time))) time = EfiTime{};
  DumpOutcome outcome = DumpOutcome::NotSaved;
  FsFile* root = nullptr;
  FsFile* file = nullptr;
  uint8_t* buffer = nullptr;
  Char16* name = FormatDumpName(time, u"bin");
  if (name == nullptr) {
    // Without even the name's few bytes of pool there is no room for the dump.
    Print(u"Can't create %dK buffer memory for read/write\n", sizeKb);
    return DumpOutcome::NotSaved;
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
    const uint32_t missedBefore = gEcBoard.SendsNotTaken;
    (void)EnterFlashMode();  // judged with every other command byte below
    Print(u"It get data to buufer, then write to file\n");
    const uint32_t unanswered = ReadFlash(buffer, blocks);
    ExitFlashMode();
    const uint32_t notTaken = gEcBoard.SendsNotTaken - missedBefore;

    if (unanswered == 0 && notTaken == 0) {
      outcome = SaveTo(file, name, buffer, dumpSize, DumpOutcome::Saved);
    } else {
      GiveUpBackupName(file);
      outcome = SaveIncomplete(root, time, buffer, dumpSize, unanswered, notTaken);
    }
    file = nullptr;  // closed by either path
  }

done:
  if (file != nullptr && EfiIsError(FsClose(file))) {
    Print(u"Can not close the input file: %s, (Err. No.: %d)\n", name, kFileJobErrorNumber);
  }
  if (root != nullptr) (void)FsClose(root);  // a directory: nothing was written to it
  if (buffer != nullptr) PoolFree(buffer);
  PoolFree(name);
  return outcome;
}
