// Sets up the unattended burn-in loop: three UEFI shell scripts in \EFI\BOOT
// that flash two images alternately, one per power cycle, a counter reset to
// "0", then a countdown and a power-off with automatic power-on armed.
//
// StartUp.NSH starts as a copy of ecBurnIn1st.NSH; each script copies the
// other one over StartUp.NSH before it runs the tool, so the images alternate.
#include "app/option_state.h"
#include "ec/ec_channel.h"
#include "platform/first_volume.h"
#include "platform/format.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "power/burn_in.h"

namespace {

constexpr size_t kLineCapacity = 512;
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

// The distinct script lines; each script holds five of them.
enum class Line { Volume, BootDirectory, CopySecond, CopyFirst, WorkDirectory, RunFirst, RunSecond, Count };

struct ScriptText {
  Char16 Volume[kLineCapacity];  // "FS0:" (up to and including the first ':')
  const Char16* Directory;       // "\EC\TOOLS"
  const Char16* FirstName;
  const Char16* SecondName;
};

struct LineBuffer {
  Char16 Text[kLineCapacity];
  uint8_t Bytes[kLineCapacity];
  size_t Length;
};

// Formats one line as UCS-2 and narrows it to the 8-bit text the shell reads.
// False when it does not fit the buffer.
bool BuildLine(LineBuffer* out, Line line, const ScriptText& text) {
  size_t length = 0;
  switch (line) {
    case Line::Volume:
      length = FormatString(out->Text, kLineCapacity, u"%s\n", text.Volume);
      break;
    case Line::BootDirectory:
      length = FormatString(out->Text, kLineCapacity, u"cd \\EFI\\BOOT\n");
      break;
    case Line::CopySecond:
      length = FormatString(out->Text, kLineCapacity, u"cp -q ecBurnIn2ND.NSH StartUp.NSH\n");
      break;
    case Line::CopyFirst:
      length = FormatString(out->Text, kLineCapacity, u"cp -q ecBurnIn1ST.NSH StartUp.NSH\n");
      break;
    case Line::WorkDirectory:
      length = FormatString(out->Text, kLineCapacity, u"cd %s\n", text.Directory);
      break;
    case Line::RunFirst:
    case Line::RunSecond:
      // The shell wants CR LF after the command line.
      length = FormatString(out->Text, kLineCapacity, u"tarnwick %s /ad /c5 /v /br %c%c",
                            line == Line::RunFirst ? text.FirstName : text.SecondName, 13, 10);
      break;
    case Line::Count:
      return false;
  }
  if (length >= kLineCapacity) return false;
  for (size_t i = 0; i < length; i++) out->Bytes[i] = static_cast<uint8_t>(out->Text[i]);
  out->Length = length;
  return true;
}

// Splits the current directory into the volume part and the directory part.
// False when there is none, or when a part is too long for a script line.
bool TakeScriptText(ScriptText* text, size_t argc, Char16** argv) {
  const Char16* current = ShellCurrentDirectory();
  if (current == nullptr || argc < 2 || argv == nullptr || argv[1] == nullptr) return false;

  const size_t currentLength = StrLen16(current);
  size_t volumeLength = currentLength < kVolumeFallbackLength ? currentLength : kVolumeFallbackLength;
  for (size_t i = 0; i < currentLength; i++) {
    if (current[i] == u':') {
      volumeLength = i + 1;
      break;
    }
  }
  if (volumeLength >= kLineCapacity) return false;
  MemCopy(text->Volume, current, volumeLength * sizeof(Char16));
  text->Volume[volumeLength] = 0;

  text->Directory = u"\\";
  for (size_t i = 0; i < currentLength; i++) {
    if (current[i] == u'\\') {
      text->Directory = current + i;
      break;
    }
  }

  text->FirstName = argv[1];
  const bool hasSecond = argc > 3 && argv[3] != nullptr && argv[3][0] != u'/';
  text->SecondName = hasSecond ? argv[3] : argv[1];

  LineBuffer probe;
  for (int line = 0; line < static_cast<int>(Line::Count); line++) {
    if (!BuildLine(&probe, static_cast<Line>(line), *text)) return false;
  }
  return true;
}

// Creates path empty: opens it with create, deletes it (which closes that
// handle) and creates it again, so no tail of a longer old file survives.
EfiStatus CreateEmptyFile(FsFile* root, const Char16* path, FsFile** file) {
  FsFile* old = nullptr;
  EfiStatus status = FsOpen(root, &old, path, kFileModeReadWriteCreate, kFileAttributeArchive);
  if (EfiIsError(status)) return status;
  const EfiStatus deleted = FsDelete(old);
  status = FsOpen(root, file, path, kFileModeReadWriteCreate, kFileAttributeArchive);
  if (EfiIsError(status)) return status;
  if (deleted != kEfiSuccess) FsSetFileSize(*file, 0);  // the file stayed: cut it instead
  return kEfiSuccess;
}

void WriteLine(FsFile* file, const LineBuffer& line) {
  size_t size = line.Length;
  FsWrite(file, &size, line.Bytes);
}

void WriteLineTo(const ScriptText& text, Line line, FsFile* a, FsFile* b, FsFile* c) {
  LineBuffer buffer;
  if (!BuildLine(&buffer, line, text)) return;  // checked before any file was opened
  if (a != nullptr) WriteLine(a, buffer);
  if (b != nullptr) WriteLine(b, buffer);
  if (c != nullptr) WriteLine(c, buffer);
}

void WriteScripts(const ScriptText& text, FsFile* const files[kFileCount]) {
  FsFile* startUp = files[kStartUp];
  FsFile* first = files[kFirstScript];
  FsFile* second = files[kSecondScript];

  Print(u"Create Burn in File : ecBurnIn1st.NSH \n");
  WriteLineTo(text, Line::Volume, startUp, first, second);
  WriteLineTo(text, Line::BootDirectory, startUp, first, second);
  Print(u"Create Burn in File : ecBurnIn2nd.NSH \n");
  WriteLineTo(text, Line::CopySecond, startUp, first, nullptr);
  WriteLineTo(text, Line::CopyFirst, second, nullptr, nullptr);
  WriteLineTo(text, Line::WorkDirectory, startUp, first, second);
  Print(u"Create AutoRun File : StartUp.NSH \n");
  WriteLineTo(text, Line::RunFirst, startUp, first, nullptr);
  WriteLineTo(text, Line::RunSecond, second, nullptr, nullptr);
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
  if (!TakeScriptText(&text, argc, argv)) return;

  FsFile* root = nullptr;
  FsFile* files[kFileCount] = {};
  bool created = false;

  root = OpenFirstVolumeRoot();
  if (root == nullptr) return;

  created = true;
  for (size_t i = 0; i < kFileCount; i++) {
    if (EfiIsError(CreateEmptyFile(root, kFilePaths[i], &files[i]))) {
      files[i] = nullptr;
      Print(u"Can't create file: %s, (Err. No. :%d)\n", kFilePaths[i], kFileJobErrorNumber);
      created = false;
      break;
    }
  }

  if (created) {
    size_t size = 1;
    FsWrite(files[kCounter], &size, "0");
    WriteScripts(text, files);
    FsClose(files[kStartUp]);
    FsClose(files[kFirstScript]);
    FsClose(files[kSecondScript]);
    if (EfiIsError(FsClose(files[kCounter]))) {
      Print(u"Can not close the input file: %s, (Err. No.: %d)\n", kBurnInCounterPath, kFileJobErrorNumber);
    }
  } else {
    for (size_t i = 0; i < kFileCount; i++) {
      if (files[i] != nullptr) FsClose(files[i]);
    }
  }
  FsClose(root);

  if (created) PowerCycle();
}
