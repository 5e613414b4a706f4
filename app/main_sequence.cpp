#include "app/main_sequence.h"

#include "app/option_state.h"
#include "app/options.h"
#include "ec/board.h"
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
#include "platform/current_directory.h"
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
  (void)GetTime(&time);  // a failed read leaves the zeroed record
  return time;
}

// The image path: the directory part and the image name as given.
Char16* BuildImagePath(const Char16* imageName) {
  const Char16* directory = ShellDirectoryPart();
  return FormatAlloc(u"%s%s%s", directory, ShellDirectorySeparator(directory), imageName);
}

void PrintStartBanner() {
  EfiTime now = ReadTime();
  if (gEcBoard.Ports.Index == 2) {
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
bool EraseWholeFlash(FlashEraseJudge judge) {
  bool erased = gEcBoard.SectorEraseMode ? FlashSectorEraseAll(judge) : FlashChipErase(judge);
  Stall(kEraseSettleUs);
  return erased;
}

// The erase-only job of /e: one sector, or the whole flash. Nothing is read
// back after it, so the EC's handshakes judge: false ("Erase failure" shown)
// when it did not take every byte in time, or its chip erase failed.
bool RunEraseOnly() {
  uint32_t sector = gOptionState.EraseSector;
  if (sector != 0) {
    Print(u"Erase position(%dK-%dK)", sector - 1, sector);
    return FlashEraseOneSector(sector);
  }
  Print(u"Erase All");
  return EraseWholeFlash(FlashEraseJudge::EveryByte);
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
      if (!EraseWholeFlash(FlashEraseJudge::DeadRun)) continue;
      if (!FlashBlankCheck(false)) continue;
    }
    if (gEcBoard.FlashModeReply != 0) {
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
  if (image.Length > kMaxFlashSize) {  // the loader has not read it
    ConSetAttribute(kAttrError);
    ConOutputString(u"This file is larger than 256K EC ROM, Check it, Please.\n\r");
    ConSetAttribute(kAttrNormal);
    return false;
  }
  if (image.Data == nullptr || image.Length == 0) {
    Print(u"Can't read, Try again, Please\n");
    return false;
  }
  return true;
}

// Loads the image and shows its identity beside the EC's. kExitOk when the
// update may go on; otherwise the code to end with. Whatever was loaded stays
// in *image for the caller to release.
int LoadCheckedImage(const Char16* imagePath, const uint8_t ecProject[kNameBufferSize], ImageBuffer* image) {
  if (LoadImageFile(imagePath, kMaxFlashSize, image) != kEfiSuccess) {
    // The loader has said why; nothing was handed over.
    PrintEndTime();
    return kExitLoadFailed;
  }
  ConEnableCursor(false);
  if (!AcceptImageSize(*image)) return kExitNoImage;

  uint8_t imageProject[kNameBufferSize];
  uint8_t imageVersion[kNameBufferSize];
  MemSet(imageProject, 0, sizeof(imageProject));
  MemSet(imageVersion, 0, sizeof(imageVersion));
  ShowImageProject(imageProject, *image);
  ShowImageVersion(imageVersion, *image);
  if (!CheckImageProject(ecProject, imageProject, gOptionState.ForceUpdate != 0)) return kExitDeclined;
  return kExitOk;
}

// Flash mode and the mode query. False when the EC took none of their bytes
// (0xDE, 0xDC, 0xF0): nothing answers on these ports, and an erase would only
// be guessed at.
bool OpenFlashMode() {
  const bool entered = EnterFlashMode();
  const bool asked = QueryFlashMode(gOptionState.SectorEraseMode != 0);
  if (entered || asked) return true;
  Print(u"\nThe EC did not answer on its ports: nothing was erased or written.\n");
  return false;
}

// The flash job on a checked image: the autoload patch, flash mode, the part
// ID, then the erase-only job or the update loop.
int RunFlashJob(ImageBuffer& image) {
  ConSetAttribute(kAttrRed);
  Print(u"Entry Flash ...... ");
  PatchAutoload(image, gOptionState.Autoload, gEcBoard.BlockCount);
  ConSetAttribute(kAttrNormal);

  if (!OpenFlashMode()) return kExitUpdateFailed;
  ShowFlashPartId(image.Length);

  // /e wins over /g and replaces the update.
  const bool done = gOptionState.EraseOnly ? RunEraseOnly() : RunUpdateLoop(image);
  return done ? kExitOk : kExitUpdateFailed;
}

PostFlashChoice ChosenPostFlashAction() {
  return PostFlashChoice{gOptionState.PostAction, gOptionState.DelaySeconds, gOptionState.VproSystem != 0,
                         gOptionState.BurnInCount != 0};
}

// Everything from the start banner to the end-time line.
int FlashImage(const Char16* imagePath) {
  uint8_t ecProject[kNameBufferSize];
  uint8_t ecVersion[kNameBufferSize];
  MemSet(ecProject, 0, sizeof(ecProject));
  MemSet(ecVersion, 0, sizeof(ecVersion));
  PrintStartBanner();
  ShowEcProject(ecProject);
  ShowEcVersion(ecVersion);

  ImageBuffer image{nullptr, 0};
  int code = LoadCheckedImage(imagePath, ecProject, &image);
  const bool flashJob = code == kExitOk;
  if (flashJob) code = RunFlashJob(image);

  // Released before the post-flash action, which may switch the machine off.
  if (image.Data != nullptr) PoolFree(image.Data);
  if (flashJob) RunPostFlashAction(ChosenPostFlashAction());  // returns only when the machine stays up
  if (code != kExitLoadFailed) ConEnableCursor(true);
  if (flashJob) PrintEndTime();
  return code;
}

// Reads the options and runs the jobs that replace an update (the dump, the
// burn-in set-up) or come before it (the burn-in counter). False when the
// run ends here with *code: options rejected or a job that replaced the update
// ran (1), or a dump the EC did not answer in full (3).
bool RunOptionJobs(size_t argc, Char16** argv, int* code) {
  *code = kExitRejected;
  if (!ParseOptions(argc, argv)) {
    Print(kParameterMessage);
    return false;
  }
  if (gOptionState.DumpRom) {
    *code = DumpEcRom() == DumpOutcome::Incomplete ? kExitUpdateFailed : kExitRejected;
    return false;
  }
  if (gOptionState.BurnInSetup) {
    CreateBurnInScripts(argc, argv);
    return false;
  }
  if (gOptionState.BurnInCount) BumpBurnInCounter();
  return true;
}

}  // namespace

int FlashAppMain(size_t argc, Char16** argv) {
  ConClearScreen();
  ConSetAttribute(kAttrNormal);
  ResetOptionState();
  EcBoardReset();
  gBurnInRunCount = 0;
  SelectEcPorts(kEcDefaultPortSet);
  ProbeFlashSize();

  if (argc < 2) {  // no image name: nothing to flash
    Print(kParameterMessage);
    return kExitRejected;
  }

  int optionCode = kExitRejected;
  if (argc >= 3 && !RunOptionJobs(argc, argv, &optionCode)) return optionCode;

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
