#include <iterator>

#include "sim/command_line.h"
#include "sim/ec_settings_help.h"
#include "sim/fault_table.h"
#include "sim/help_format.h"
#include "sim/host_state.h"
#include "sim/option_values.h"

namespace sim {

namespace {

// An unknown name counts as EFI_DEVICE_ERROR.
EfiStatus StatusFromName(const std::string& name) {
  for (uint64_t n = 1; n <= 40; ++n) {
    if (EfiStatusName(EfiErrorCode(n)) == name) return EfiErrorCode(n);
  }
  return kEfiDeviceError;
}

// "call:N" and index faults: 0..0x7FFFFFFF.
bool Count(const std::string& arg, int* field) {
  uint64_t n = 0;
  if (!ParseNumber(arg, 0x7FFFFFFF, &n)) return false;
  *field = static_cast<int>(n);
  return true;
}

// Sizes and offsets: any 64-bit number.
template <typename T>
bool Amount(const std::string& arg, std::optional<T>* field) {
  uint64_t n = 0;
  if (!ParseNumber(arg, UINT64_MAX, &n)) return false;
  *field = static_cast<T>(n);
  return true;
}

// "PATH" or "PATH:EFI_..." (a path may hold ':' itself).
bool OpenFails(const std::string& arg, Faults* f) {
  size_t split = arg.rfind(':');
  EfiStatus status = kEfiNotFound;
  std::string path = arg;
  if (split != std::string::npos && arg.compare(split + 1, 4, "EFI_") == 0) {
    status = StatusFromName(arg.substr(split + 1));
    path = arg.substr(0, split);
  }
  f->OpenFails[FromUtf8(path)] = status;
  return true;
}

bool PowerCut(const std::string& arg, Faults* f) {
  uint64_t n = 0;
  if (!ParseNumber(arg, INT64_MAX, &n)) return false;
  f->PowerCutAfterPortOps = static_cast<int64_t>(n);
  return true;
}

using Arg = const std::string&;

const FirmwareFaultKind kKinds[] = {
    {"no-fs", nullptr, "no file system: LocateProtocol and LocateHandleBuffer find nothing",
     [](Arg, Faults* f) { f->NoFileSystem = true; return true; }},
    {"locate-handles", "STATUS", "LocateHandleBuffer fails with STATUS",
     [](Arg a, Faults* f) { f->LocateHandlesStatus = StatusFromName(a); return true; }},
    {"open-volume", "INDEX", "OpenVolume of volume INDEX (0: FS0:) fails (repeatable)",
     [](Arg a, Faults* f) {
       int index = 0;
       if (!Count(a, &index)) return false;
       f->OpenVolumeFails.push_back(index);
       return true;
     }},
    {"open", "PATH[:STATUS]", "Open of PATH (as the program passes it) fails with STATUS (default EFI_NOT_FOUND)",
     OpenFails},
    {"create", "PATH", "Open with create of PATH fails",
     [](Arg a, Faults* f) { f->CreateFailPath = FromUtf8(a); return true; }},
    {"create-call", "N", "the N-th Open with create fails with EFI_ACCESS_DENIED",
     [](Arg a, Faults* f) { return Count(a, &f->CreateFailCall); }},
    {"getinfo", "STATUS", "every GetInfo fails with STATUS",
     [](Arg a, Faults* f) { f->GetInfoStatus = StatusFromName(a); return true; }},
    {"getinfo-call", "N", "the N-th GetInfo fails with EFI_DEVICE_ERROR",
     [](Arg a, Faults* f) { return Count(a, &f->GetInfoFailCall); }},
    {"file-size", "N", "GetInfo reports a file size of N bytes (may be 4 GiB or more)",
     [](Arg a, Faults* f) { return Amount(a, &f->GetInfoFileSize); }},
    {"info-size", "N", "the first GetInfo reports an information record of N bytes",
     [](Arg a, Faults* f) { return Amount(a, &f->GetInfoRecordSize); }},
    {"read-call", "N", "the N-th Read fails with EFI_DEVICE_ERROR",
     [](Arg a, Faults* f) { return Count(a, &f->ReadFailCall); }},
    {"read-short", "N", "every Read delivers at most N bytes",
     [](Arg a, Faults* f) { return Amount(a, &f->ReadShortBytes); }},
    {"read-stop", "N", "Reads deliver nothing from file offset N on",
     [](Arg a, Faults* f) { return Amount(a, &f->ReadStopAt); }},
    {"write-call", "N", "the N-th Write fails with EFI_DEVICE_ERROR",
     [](Arg a, Faults* f) { return Count(a, &f->WriteFailCall); }},
    {"write-short", "N", "every Write stores at most N bytes",
     [](Arg a, Faults* f) { return Amount(a, &f->WriteShortBytes); }},
    {"close-call", "N", "the N-th Close fails (the handle is closed all the same)",
     [](Arg a, Faults* f) { return Count(a, &f->CloseFailCall); }},
    {"close", "PATH", "Close of PATH fails",
     [](Arg a, Faults* f) { f->CloseFailPath = FromUtf8(a); return true; }},
    {"delete-call", "N", "the N-th Delete leaves the file (a warning status)",
     [](Arg a, Faults* f) { return Count(a, &f->DeleteFailCall); }},
    {"setinfo-call", "N", "the N-th SetInfo fails",
     [](Arg a, Faults* f) { return Count(a, &f->SetInfoFailCall); }},
    {"alloc-call", "N", "the N-th AllocatePool answers no memory",
     [](Arg a, Faults* f) { return Count(a, &f->AllocFailCall); }},
    {"alloc-size", "N", "every AllocatePool of N bytes or more fails",
     [](Arg a, Faults* f) { return Amount(a, &f->AllocFailMinSize); }},
    {"gettime", nullptr, "GetTime fails with EFI_DEVICE_ERROR",
     [](Arg, Faults* f) { f->GetTimeFails = true; return true; }},
    {"readkey", "N", "the first N ReadKeyStroke calls answer EFI_NOT_READY",
     [](Arg a, Faults* f) { return Count(a, &f->ReadKeyFailsFirst); }},
    {"no-shell-environment", nullptr,
     "the older shell (--shell interface) lacks its environment protocol, so it gives no current directory",
     [](Arg, Faults* f) { f->NoShellEnvironment = true; return true; }},
    {"power-cut", "N", "the power goes after N port operations", PowerCut},
};

}  // namespace

const std::vector<FirmwareFaultKind>& FirmwareFaultKinds() {
  static const std::vector<FirmwareFaultKind> kRows(std::begin(kKinds), std::end(kKinds));
  return kRows;
}

bool ParseFirmwareFault(const std::string& request, Faults* faults, std::string* why) {
  size_t colon = request.find(':');
  std::string name = request.substr(0, colon);
  bool hasArg = colon != std::string::npos;
  std::string arg = hasArg ? request.substr(colon + 1) : std::string();
  for (const FirmwareFaultKind& kind : FirmwareFaultKinds()) {
    if (name != kind.Name) continue;
    if (hasArg == (kind.Arg != nullptr) && kind.Apply(arg, faults)) return true;
    *why = "expected " + FaultForm(kind.Name, kind.Arg) + " (see --help)";
    return false;
  }
  *why = "no such firmware fault (see --help)";
  return false;
}

std::string FirmwareFaultHelp() {
  std::string text;
  for (const FirmwareFaultKind& kind : FirmwareFaultKinds()) {
    text += HelpEntry(FaultForm(kind.Name, kind.Arg), kind.Help, 4, 30);
  }
  return text;
}

}  // namespace sim
