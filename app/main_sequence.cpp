#include "app/main_sequence.h"

#include "app/option_state.h"
#include "app/options.h"
#include "ec/board_queries.h"
#include "ec/ec_channel.h"
#include "flash/check.h"
#include "flash/dump.h"
#include "flash/erase.h"
#include "flash/flash_mode.h"
#include "flash/program.h"
#include "image/autoload.h"
#include "image/identity.h"
#include "image/loader.h"
#include "platform/format.h"
#include "platform/text.h"
#include "power/burn_in.h"
#include "power/post_flash.h"

namespace {

constexpr uint8_t kMaxAttempts = 5;
constexpr size_t kEraseSettleUs = 100000;   // after every whole-flash erase
constexpr size_t kProgramSettleUs = 1000;   // between programming and verify

const Char16 kParameterMessage[] = u"Please kindly to check your parameter.";

EfiTime ReadTime() {
  EfiTime time;
  MemSet(&time, 0, sizeof(time));  // a failed read shows 00:00:00
  GetTime(&time);
  return time;
}

// The directory part of the shell's current directory: from its first
// backslash on. Without a current directory, or one with no backslash, the
// volume root.
const Char16* CurrentDirectoryPart() {
  const Char16* cwd = ShellCurrentDirectory();
  if (cwd != nullptr) {
    for (const Char16* p = cwd; *p != 0; p++) {
      if (*p == u'\\') return p;
    }
  }
  return u"\\";
}

// The image path: the directory part and the image name, joined by one
// backslash unless the directory part is the root's lone backslash.
Char16* BuildImagePath(const Char16* imageName) {
  const Char16* directory = CurrentDirectoryPart();
  if (directory[1] == 0) return FormatAlloc(u"%s%s", directory, imageName);
  return FormatAlloc(u"%s\\%s", directory, imageName);
}

void PrintStartBanner() {
  EfiTime now = ReadTime();
  if (gOptionState.Ports.Index == 2) {
    Print(u"2nd EC Flash Utility for UEFI Ver 1.01       Start time %02d:%02d:%02d\n", now.Hour, now.Minute,
          now.Second);
  } else {
    Print(u"EC Flash Utility for UEFI Ver 1.19.01.11       Start time %02d:%02d:%02d\n", now.Hour, now.Minute,
          now.Second);
  }
}

void PrintEndTime() {
  EfiTime now = ReadTime();
  PrintAt(24, 26, u"\nEnd time %02d:%02d:%02d\n", now.Hour, now.Minute, now.Second);
}

// Erases the whole flash in the current mode, then lets it settle.
bool EraseWholeFlash() {
  bool erased = gOptionState.SectorEraseMode ? FlashSectorEraseAll() : FlashChipErase();
  Stall(kEraseSettleUs);
  return erased;
}

// The erase-only job of /e: one sector, or the whole flash. False when the
// whole-flash erase failed (a single sector is not judged).
bool RunEraseOnly() {
  uint32_t sector = gOptionState.EraseSector;
  if (sector != 0) {
    Print(u"Erase position(%dK-%dK)", sector - 1, sector);
    FlashEraseOneSector(sector);
    return true;
  }
  Print(u"Erase All");
  return EraseWholeFlash();
}

// Up to five passes of erase, blank check, program and verify. Returns true
// when a pass verified.
bool RunUpdateLoop(const ImageBuffer& image) {
  uint64_t length = image.Length;
  for (uint8_t attempt = 1; attempt <= kMaxAttempts; attempt++) {
    if (gOptionState.KeepReserved) {
      if (!FlashEraseKeepReserved()) continue;
      if (!FlashBlankCheck(true)) continue;
      length = kKeepReservedLength;  // the G-sensor tail stays; program up to it
    } else {
      if (!EraseWholeFlash()) continue;
      if (!FlashBlankCheck(false)) continue;
    }
    if (gFlashModeReply != 0) {
      FlashProgramBootLast(image, length);
    } else {
      FlashProgram(image, length);
    }
    Stall(kProgramSettleUs);
    if (FlashVerify(image, length)) return true;
  }
  return false;
}

// Refuses an image that holds nothing or more than the largest EC flash.
// Returns true when the image may go on.
bool AcceptImageSize(const ImageBuffer& image) {
  if (image.Data == nullptr || image.Length == 0) {
    Print(u"Can't read, Try again, Please\n");
    return false;
  }
  if (image.Length > kMaxFlashSize) {
    ConSetAttribute(kAttrError);
    ConOutputString(u"This file is larger than 256K EC ROM, Check it, Please.\n\r");
    ConSetAttribute(kAttrNormal);
    return false;
  }
  return true;
}

// Everything from the image load to the end-time line.
int FlashImage(const Char16* imagePath) {
  uint8_t ecProject[kNameBufferSize];
  uint8_t ecVersion[kNameBufferSize];
  uint8_t imageProject[kNameBufferSize];
  uint8_t imageVersion[kNameBufferSize];
  MemSet(ecProject, 0, sizeof(ecProject));
  MemSet(ecVersion, 0, sizeof(ecVersion));
  MemSet(imageProject, 0, sizeof(imageProject));
  MemSet(imageVersion, 0, sizeof(imageVersion));

  PrintStartBanner();
  ShowEcProject(ecProject);
  ShowEcVersion(ecVersion);

  ImageBuffer image{nullptr, 0};
  if (LoadImageFile(imagePath, &image) != kEfiSuccess) {
    // The loader has said why; nothing was handed over.
    PrintEndTime();
    return kExitLoadFailed;
  }

  ConEnableCursor(false);
  if (!AcceptImageSize(image)) {
    if (image.Data != nullptr) PoolFree(image.Data);
    ConEnableCursor(true);
    return kExitNoImage;
  }

  ShowImageProject(imageProject, image);
  ShowImageVersion(imageVersion, image);
  if (!CheckImageProject(ecProject, imageProject)) {
    PoolFree(image.Data);
    ConEnableCursor(true);
    return kExitDeclined;
  }

  ConSetAttribute(kAttrRed);
  Print(u"Entry Flash ...... ");
  PatchAutoload(image);
  ConSetAttribute(kAttrNormal);

  EnterFlashMode();
  QueryFlashMode();
  ShowFlashPartId(image.Length);

  bool done;
  if (gOptionState.EraseOnly) {  // /e wins over /g and replaces the update
    done = RunEraseOnly();
  } else {
    done = RunUpdateLoop(image);
  }

  PoolFree(image.Data);
  RunPostFlashAction();  // returns only when the machine stays up
  ConEnableCursor(true);
  PrintEndTime();
  return done ? kExitOk : kExitUpdateFailed;
}

}  // namespace

int FlashAppMain(size_t argc, Char16** argv) {
  ConClearScreen();
  ConSetAttribute(kAttrNormal);
  ResetOptionState();
  gFlashModeReply = 0;
  gBurnInRunCount = 0;
  SelectEcPorts(1);
  ProbeFlashSize();

  if (argc < 2) {  // no image name: nothing to flash
    Print(kParameterMessage);
    return kExitRejected;
  }

  if (argc >= 3) {
    if (!ParseOptions(argc, argv)) {
      Print(kParameterMessage);
      return kExitRejected;
    }
    if (gOptionState.DumpRom) {
      DumpEcRom();
      return kExitRejected;
    }
    if (gOptionState.BurnInSetup) {
      CreateBurnInScripts(argc, argv);
      return kExitRejected;
    }
    if (gOptionState.BurnInCount) BumpBurnInCounter();
  }

  if (!CheckAcAdapter() && !gOptionState.SkipAcCheck) {
    Print(u"Not found the AC adapter,insert the AC adapter please. Then try again.\n");
    return kExitNoAdapter;
  }

  Char16* imagePath = BuildImagePath(argv[1]);
  if (imagePath == nullptr) {
    // Without memory for the path there is nothing to look for.
    ConOutputString(u"Can not allocate a buffer for input file: ");
    ConOutputString(argv[1]);
    ConOutputString(u".\n\r");
    PrintEndTime();
    return kExitLoadFailed;
  }
  int code = FlashImage(imagePath);
  PoolFree(imagePath);
  return code;
}
