// Sets up the unattended burn-in loop: three UEFI shell scripts in \EFI\BOOT
// that flash two images alternately, one per power cycle, a counter reset to
// "0", then a countdown and a power-off with automatic power-on armed.
//
// StartUp.NSH starts as a copy of ecBurnIn1st.NSH; each script copies the
// other one over StartUp.NSH before it runs the tool, so the images alternate.
#include "ec/ec_channel.h"
#include "platform/current_directory.h"
#include "platform/first_volume.h"
#include "platform/format.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "power/burn_in.h"

namespace {

constexpr size_t kVolumeFallbackLength = 4;
constexpr uint8_t kPowerOnSeconds = 5;
constexpr size_t kOneSecond = 1000000;
constexpr size_t kCountdownColumn = 8;
constexpr size_t kCountdownRow = 12;
constexpr size_t kDigitColumn = 62;  // the number inside the countdown line's brackets
constexpr size_t kWaitColumn = 18;

// The files, in the order they are created.
enum FileIndex : size_t { kFirstScript, kStartUp, kSecondScript, kCounter, kFileCount };
constexpr const Char16* kFilePaths[kFileCount] = {
    u"\\EFI\\BOOT\\ecBurnIn1st.NSH",
    u"\\EFI\\BOOT\\StartUp.NSH",
    u"\\EFI\\BOOT\\ecBurnIn2nd.NSH",
    kBurnInCounterPath,
};
constexpr FileIndex kScriptCloseOrder[] = {kStartUp, kFirstScript, kSecondScript};

// The distinct script lines; each script holds five of them.
enum Line : size_t {
  kVolume, kBootDirectory, kCopySecond, kCopyFirst, kWorkDirectory, kRunFirst, kRunSecond, kLineCount
};

// The first file (in creation order) that holds each line: a line is built
// just before that file is created, and a line that cannot be built is
// reported as that file's failure.
constexpr FileIndex kFirstHolder[kLineCount] = {kFirstScript, kFirstScript, kFirstScript, kSecondScript,
                                                kFirstScript, kFirstScript, kSecondScript};

struct ScriptText {
  const Char16* Current;   // the shell's current directory
  size_t VolumeLength;     // "FS0:" (up to and including the first ':')
  const Char16* Directory; // "\EC\TOOLS"
  const Char16* FirstName;
  const Char16* SecondName;
};

// One line as the 8-bit text the shell reads, in pool memory.
struct ScriptLine {
  uint8_t* Bytes;
  size_t Length;
};

// Narrows a pool UCS-2 string in place: byte i lands in the storage of
// character i / 2, which has been read already.
ScriptLine Narrow(Char16* text) {
  ScriptLine line{reinterpret_cast<uint8_t*>(text), 0};
  if (text == nullptr) return line;
  while (text[line.Length] != 0) {
    line.Bytes[line.Length] = static_cast<uint8_t>(text[line.Length]);
    line.Length++;
  }
  return line;
}

// Formats one line as UCS-2 and narrows it. Bytes is nullptr when the pool
// refuses.
ScriptLine BuildLine(Line line, const ScriptText& text) {
  switch (line) {
    case kVolume: {
      ScriptLine volume{static_cast<uint8_t*>(PoolAllocate(text.VolumeLength + 1)), text.VolumeLength + 1};
      if (volume.Bytes == nullptr) return volume;
      for (size_t i = 0; i < text.VolumeLength; i++) volume.Bytes[i] = static_cast<uint8_t>(text.Current[i]);
      volume.Bytes[text.VolumeLength] = '\n';
      return volume;
    }
    case kBootDirectory:
      return Narrow(FormatAlloc(u"cd \\EFI\\BOOT\n"));
    case kCopySecond:
      return Narrow(FormatAlloc(u"cp -q ecBurnIn2ND.NSH StartUp.NSH\n"));
    case kCopyFirst:
      return Narrow(FormatAlloc(u"cp -q ecBurnIn1ST.NSH StartUp.NSH\n"));
    case kWorkDirectory:
      return Narrow(FormatAlloc(u"cd %s\n", text.Directory));
    case kRunFirst:
    case kRunSecond:
      // The shell wants CR LF after the command line.
      return Narrow(FormatAlloc(u"tarnwick %s /ad /c5 /v /br %c%c",
                                line == kRunFirst ? text.FirstName : text.SecondName, 13, 10));
    case kLineCount:
      break;
  }
  return ScriptLine{nullptr, 0};
}

// Builds the lines whose first holder is file. False when the pool refuses one.
bool BuildLinesOf(FileIndex file, const ScriptText& text, ScriptLine lines[kLineCount]) {
  for (size_t line = 0; line < kLineCount; line++) {
    if (kFirstHolder[line] != file) continue;
    lines[line] = BuildLine(static_cast<Line>(line), text);
    if (lines[line].Bytes == nullptr) return false;
  }
  return true;
}

// Splits the current directory into the volume part and the directory part.
// False when there is none, or no image name.
bool TakeScriptText(ScriptText* text, size_t argc, Char16** argv) {
  const Char16* current = ShellCurrentDirectory();
  if (current == nullptr || argc < 2 || argv == nullptr || argv[1] == nullptr) return false;

  const size_t currentLength = StrLen16(current);
  text->Current = current;
  text->VolumeLength = currentLength < kVolumeFallbackLength ? currentLength : kVolumeFallbackLength;
  for (size_t i = 0; i < currentLength; i++) {
    if (current[i] == u':') {
      text->VolumeLength = i + 1;
      break;
    }
  }

  text->Directory = ShellDirectoryPartOf(current);

  text->FirstName = argv[1];
  const bool hasSecond = argc > 3 && argv[3] != nullptr && argv[3][0] != u'/';
  text->SecondName = hasSecond ? argv[3] : argv[1];
  return true;
}

// Creates path empty: opens it with create, deletes it (which closes that
// handle) and creates it again, so no tail of a longer old file survives.
// When the file stays after the Delete it is cut instead; when that fails
// too, old bytes would survive behind the new lines, so the file counts as
// not created (and its handle is closed).
EfiStatus CreateEmptyFile(FsFile* root, const Char16* path, FsFile** file) {
  FsFile* old = nullptr;
  EfiStatus status = FsOpen(root, &old, path, kFileModeReadWriteCreate, kFileAttributeArchive);
  if (EfiIsError(status)) return status;
  const EfiStatus deleted = FsDelete(old);
  status = FsOpen(root, file, path, kFileModeReadWriteCreate, kFileAttributeArchive);
  if (EfiIsError(status)) return status;
  if (deleted == kEfiSuccess) return kEfiSuccess;
  status = FsSetFileSize(*file, 0);
  if (!EfiIsError(status)) return kEfiSuccess;
  (void)FsClose(*file);  // given up on: the cut's failure is what counts
  *file = nullptr;
  return status;
}

void WriteLineTo(const ScriptLine& line, FsFile* a, FsFile* b, FsFile* c) {
  FsFile* const targets[] = {a, b, c};
  for (FsFile* file : targets) {
    if (file == nullptr) continue;
    size_t size = line.Length;
    // The set-up reports failures to create and to close, not to write.
    (void)FsWrite(file, &size, line.Bytes);
  }
}

void WriteScripts(const ScriptLine lines[kLineCount], FsFile* const files[kFileCount]) {
  FsFile* startUp = files[kStartUp];
  FsFile* first = files[kFirstScript];
  FsFile* second = files[kSecondScript];

  Print(u"Create Burn in File : ecBurnIn1st.NSH \n");
  WriteLineTo(lines[kVolume], startUp, first, second);
  WriteLineTo(lines[kBootDirectory], startUp, first, second);
  Print(u"Create Burn in File : ecBurnIn2nd.NSH \n");
  WriteLineTo(lines[kCopySecond], startUp, first, nullptr);
  WriteLineTo(lines[kCopyFirst], second, nullptr, nullptr);
  WriteLineTo(lines[kWorkDirectory], startUp, first, second);
  Print(u"Create AutoRun File : StartUp.NSH \n");
  WriteLineTo(lines[kRunFirst], startUp, first, nullptr);
  WriteLineTo(lines[kRunSecond], second, nullptr, nullptr);
}

// Counts down six seconds on the console, then arms the automatic power-on
// and asks the EC to switch the machine off.
void PowerCycle() {
  ConEnableCursor(false);
  ConSetAttribute(kAttrGreen);
  PrintAt(kCountdownColumn, kCountdownRow,
          u"Down count to shutdown then auto power on,  Waitting (%d) second(s) .....", kPowerOnSeconds);
  ConSetAttribute(kAttrRed);
  for (int n = kPowerOnSeconds; n >= 0; n--) {
    PrintAt(kDigitColumn, kCountdownRow, u"%d", n);
    Stall(kOneSecond);
  }
  EcArmAutoPowerOn(kPowerOnSeconds);
  EcRequestPowerOff();
  PrintAt(kCountdownColumn, kCountdownRow, u"%75s", u"");  // wipes the countdown line
  ConSetAttribute(kAttrGreen);
  PrintAt(kWaitColumn, kCountdownRow, u"Wait a moment again about 0~4 seconds.");
  ConEnableCursor(true);
}

}  // namespace

void CreateBurnInScripts(size_t argc, Char16** argv) {
  ScriptText text;
  if (ShellCurrentDirectory() == nullptr) {
    // The scripts change to the image's folder at every boot: without one
    // they would flash from wherever the shell starts.
    Print(u"Can't create the burn in files: the shell has no current directory. "
          u"Change to the images' folder first (fs0:, cd \\EC).\n");
    return;
  }
  if (!TakeScriptText(&text, argc, argv)) return;

  ScriptLine lines[kLineCount] = {};
  FsFile* files[kFileCount] = {};
  FsFile* root = nullptr;
  bool created = false;
  size_t size = 1;

  root = FsOpenFirstVolumeRoot();
  if (root == nullptr) goto done;

  for (size_t i = 0; i < kFileCount; i++) {
    const FileIndex file = static_cast<FileIndex>(i);
    if (!BuildLinesOf(file, text, lines) || EfiIsError(CreateEmptyFile(root, kFilePaths[i], &files[i]))) {
      files[i] = nullptr;
      Print(u"Can't create file: %s, (Err. No. :%d)\n", kFilePaths[i], kFileJobErrorNumber);
      goto done;
    }
  }
  created = true;
  (void)FsWrite(files[kCounter], &size, "0");  // as the scripts: create and close are checked
  WriteScripts(lines, files);

done:
  // Closed in this order; only the counter's Close is looked at.
  for (FileIndex file : kScriptCloseOrder) {
    if (files[file] != nullptr) (void)FsClose(files[file]);
  }
  if (files[kCounter] != nullptr && EfiIsError(FsClose(files[kCounter])) && created) {
    Print(u"Can not close the input file: %s, (Err. No.: %d)\n", kBurnInCounterPath, kFileJobErrorNumber);
  }
  if (root != nullptr) (void)FsClose(root);
  for (ScriptLine& line : lines) PoolFree(line.Bytes);

  if (created) PowerCycle();
}
