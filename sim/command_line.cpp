#include "sim/command_line.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/host_state.h"
#include "sim/sample_image.h"

namespace sim {

namespace {

constexpr size_t kBlock = 65536;
constexpr uint16_t kScanUp = 0x01, kScanDown = 0x02, kScanRight = 0x03, kScanLeft = 0x04, kScanEscape = 0x17;

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  uint64_t scale = 1;
  if (*end == 'K' || *end == 'k') {
    scale = 1024;
    ++end;
  }
  if (*end != 0 || text[0] == '-') return false;
  if (v > max / scale) return false;
  *value = v * scale;
  return true;
}

// "EF,40,13" or "EF 40 13": hexadecimal bytes.
bool ParseBytes(const std::string& text, size_t max, std::vector<uint8_t>* bytes) {
  bytes->clear();
  std::string token;
  std::string all = text;
  for (char& c : all) {
    if (c == ',') c = ' ';
  }
  std::istringstream words(all);
  while (words >> token) {
    char* end = nullptr;
    unsigned long v = std::strtoul(token.c_str(), &end, 16);
    if (*end != 0 || v > 0xFF || bytes->size() >= max) return false;
    bytes->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

bool ParseKeys(const std::string& text, std::vector<InputKey>* keys) {
  std::u16string chars = FromUtf8(text);
  for (size_t i = 0; i < chars.size(); ++i) {
    char16_t c = chars[i];
    if (c != u'\\') {
      keys->push_back(InputKey{0, c});
      continue;
    }
    if (++i >= chars.size()) return false;
    switch (chars[i]) {
      case u'r': keys->push_back(InputKey{0, u'\r'}); break;
      case u'n': keys->push_back(InputKey{0, u'\n'}); break;
      case u't': keys->push_back(InputKey{0, u'\t'}); break;
      case u'b': keys->push_back(InputKey{0, u'\b'}); break;
      case u'e': keys->push_back(InputKey{kScanEscape, 0}); break;
      case u'U': keys->push_back(InputKey{kScanUp, 0}); break;
      case u'D': keys->push_back(InputKey{kScanDown, 0}); break;
      case u'R': keys->push_back(InputKey{kScanRight, 0}); break;
      case u'L': keys->push_back(InputKey{kScanLeft, 0}); break;
      case u'\\': keys->push_back(InputKey{0, u'\\'}); break;
      default: return false;
    }
  }
  return true;
}

bool ParseTime(const std::string& text, EfiTime* time) {
  unsigned y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return false;
  if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  *time = EfiTime{static_cast<uint16_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d), static_cast<uint8_t>(h),
                  static_cast<uint8_t>(mi), static_cast<uint8_t>(s), 0, 0, 2047, 0, 0};
  return true;
}

EfiTime HostLocalTime() {
  time_t now = ::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return EfiTime{static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint8_t>(local.tm_mon + 1),
                 static_cast<uint8_t>(local.tm_mday), static_cast<uint8_t>(local.tm_hour),
                 static_cast<uint8_t>(local.tm_min), static_cast<uint8_t>(local.tm_sec), 0, 0, 2047, 0, 0};
}

void SetReply(const std::string& text, uint8_t* bytes, uint8_t* length) {
  std::string reply = text + "$";
  if (reply.size() > 64) reply.resize(64);
  for (size_t i = 0; i < reply.size(); ++i) bytes[i] = static_cast<uint8_t>(reply[i]);
  *length = static_cast<uint8_t>(reply.size());
}

uint8_t SizeReplyFor(uint32_t flashSize) {
  if (flashSize >= 4 * kBlock) return 0x80;
  if (flashSize >= 3 * kBlock) return 0x40;
  return 0x20;
}

// One EC fault: "ibf-stuck", "ibf-stuck-after:N", "obf-never", "erase-no-obf",
// "drop-writes-while-ibf", "stale:CMD:BYTES", "stuck-zero:ADDR:MASK",
// "never-program:ADDR", "reads-wrong:ADDR", "erase-leaves:ADDR:PASS".
bool ParseEcFault(const std::string& request, EcConfig* ec, std::string* error) {
  std::vector<std::string> f;
  std::string part;
  std::istringstream in(request);
  while (std::getline(in, part, ':')) f.push_back(part);
  if (f.empty()) f.push_back("");
  uint64_t a = 0, b = 0;
  auto flashFault = [&]() -> EcFlashFault* {
    if (ec->FlashFaultCount >= kEcMaxFaultBytes) return nullptr;
    EcFlashFault* fault = &ec->FlashFaults[ec->FlashFaultCount++];
    *fault = EcFlashFault{};
    fault->Address = static_cast<uint32_t>(a);
    return fault;
  };
  const std::string& kind = f[0];
  bool ok = true;
  if (kind == "ibf-stuck" && f.size() == 1) {
    ec->IbfStuckForever = true;
  } else if (kind == "ibf-stuck-after" && f.size() == 2 && ParseNumber(f[1], UINT32_MAX, &a) && a > 0) {
    ec->IbfStuckAfterBytes = a;
  } else if (kind == "obf-never" && f.size() == 1) {
    ec->ObfNeverSet = true;
  } else if (kind == "erase-no-obf" && f.size() == 1) {
    ec->ChipEraseNoObf = true;
  } else if (kind == "drop-writes-while-ibf" && f.size() == 1) {
    ec->DropWritesWhileIbf = true;
  } else if (kind == "stale" && f.size() == 3 && ParseNumber(f[1], 0xFF, &a)) {
    std::vector<uint8_t> bytes;
    ok = ParseBytes(f[2], kEcMaxFaultBytes, &bytes);
    ec->StaleBeforeCommand = static_cast<uint8_t>(a);
    ec->StaleLength = static_cast<uint8_t>(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) ec->StaleBytes[i] = bytes[i];
  } else if (kind == "stuck-zero" && f.size() == 3 && ParseNumber(f[1], kEcMaxFlashSize - 1, &a) &&
             ParseNumber(f[2], 0xFF, &b)) {
    EcFlashFault* fault = flashFault();
    ok = fault != nullptr;
    if (ok) fault->StuckZeroMask = static_cast<uint8_t>(b);
  } else if (kind == "never-program" && f.size() == 2 && ParseNumber(f[1], kEcMaxFlashSize - 1, &a)) {
    EcFlashFault* fault = flashFault();
    ok = fault != nullptr;
    if (ok) fault->NeverPrograms = true;
  } else if (kind == "reads-wrong" && f.size() == 2 && ParseNumber(f[1], kEcMaxFlashSize - 1, &a)) {
    EcFlashFault* fault = flashFault();
    ok = fault != nullptr;
    if (ok) fault->ReadsWrong = true;
  } else if (kind == "erase-leaves" && f.size() == 3 && ParseNumber(f[1], kEcMaxFlashSize - 1, &a) &&
             ParseNumber(f[2], 127, &b) && b > 0) {
    EcFlashFault* fault = flashFault();
    ok = fault != nullptr;
    if (ok) fault->EraseLeavesInPass = static_cast<int8_t>(b);
  } else {
    ok = false;
  }
  if (!ok) *error = "bad --ec-fault: " + request;
  return ok;
}

EfiStatus StatusFromName(const std::string& name) {
  for (uint64_t n = 1; n <= 40; ++n) {
    if (EfiStatusName(EfiErrorCode(n)) == name) return EfiErrorCode(n);
  }
  return kEfiDeviceError;
}

// One firmware fault: "no-fs", "locate-handles:STATUS", "open-volume:INDEX",
// "open:PATH[:STATUS]", "create:PATH", "create-call:N", "getinfo:STATUS",
// "getinfo-call:N", "file-size:N", "info-size:N", "read-call:N", "read-short:N", "read-stop:N",
// "write-call:N", "write-short:N", "close-call:N", "close:PATH", "delete-call:N",
// "setinfo-call:N", "alloc-call:N", "alloc-size:N", "gettime", "readkey:N",
// "power-cut:N".
bool ParseFault(const std::string& request, Faults* fault, std::string* error) {
  size_t colon = request.find(':');
  std::string kind = request.substr(0, colon);
  std::string arg = colon == std::string::npos ? std::string() : request.substr(colon + 1);
  bool hasArg = colon != std::string::npos;
  uint64_t n = 0;
  bool number = hasArg && ParseNumber(arg, UINT64_MAX, &n);
  bool small = number && n <= 0x7FFFFFFF;
  bool ok = true;
  if (kind == "no-fs" && !hasArg) {
    fault->NoFileSystem = true;
  } else if (kind == "locate-handles" && hasArg) {
    fault->LocateHandlesStatus = StatusFromName(arg);
  } else if (kind == "open-volume" && small) {
    fault->OpenVolumeFails.push_back(static_cast<int>(n));
  } else if (kind == "open" && hasArg) {
    size_t split = arg.rfind(':');
    EfiStatus status = kEfiNotFound;
    std::string path = arg;
    if (split != std::string::npos && arg.compare(split + 1, 4, "EFI_") == 0) {
      status = StatusFromName(arg.substr(split + 1));
      path = arg.substr(0, split);
    }
    fault->OpenFails[FromUtf8(path)] = status;
  } else if (kind == "create" && hasArg) {
    fault->CreateFailPath = FromUtf8(arg);
  } else if (kind == "create-call" && small) {
    fault->CreateFailCall = static_cast<int>(n);
  } else if (kind == "getinfo" && hasArg) {
    fault->GetInfoStatus = StatusFromName(arg);
  } else if (kind == "getinfo-call" && small) {
    fault->GetInfoFailCall = static_cast<int>(n);
  } else if (kind == "file-size" && number) {
    fault->GetInfoFileSize = n;
  } else if (kind == "info-size" && number) {
    fault->GetInfoRecordSize = static_cast<size_t>(n);
  } else if (kind == "read-call" && small) {
    fault->ReadFailCall = static_cast<int>(n);
  } else if (kind == "read-short" && number) {
    fault->ReadShortBytes = static_cast<size_t>(n);
  } else if (kind == "read-stop" && number) {
    fault->ReadStopAt = n;
  } else if (kind == "write-call" && small) {
    fault->WriteFailCall = static_cast<int>(n);
  } else if (kind == "write-short" && number) {
    fault->WriteShortBytes = static_cast<size_t>(n);
  } else if (kind == "close-call" && small) {
    fault->CloseFailCall = static_cast<int>(n);
  } else if (kind == "close" && hasArg) {
    fault->CloseFailPath = FromUtf8(arg);
  } else if (kind == "delete-call" && small) {
    fault->DeleteFailCall = static_cast<int>(n);
  } else if (kind == "setinfo-call" && small) {
    fault->SetInfoFailCall = static_cast<int>(n);
  } else if (kind == "alloc-call" && small) {
    fault->AllocFailCall = static_cast<int>(n);
  } else if (kind == "alloc-size" && number) {
    fault->AllocFailMinSize = static_cast<size_t>(n);
  } else if (kind == "gettime" && !hasArg) {
    fault->GetTimeFails = true;
  } else if (kind == "readkey" && small) {
    fault->ReadKeyFailsFirst = static_cast<int>(n);
  } else if (kind == "power-cut" && number && n <= static_cast<uint64_t>(INT64_MAX)) {
    fault->PowerCutAfterPortOps = static_cast<int64_t>(n);
  } else {
    ok = false;
  }
  if (!ok) *error = "bad --fault: " + request;
  return ok;
}

}  // namespace

bool IsShellDirectory(const std::string& text) {
  size_t i = 2;
  if (text.compare(0, 2, "FS") != 0) return false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == 2 || i >= text.size() || text[i] != ':') return false;
  if (++i == text.size()) return true;
  if (text[i] != '\\') return false;
  for (; i < text.size(); ++i) {
    if (text[i] == '/' || static_cast<unsigned char>(text[i]) < 0x20) return false;
  }
  return true;
}

std::vector<uint8_t> DefaultFlash(const std::string& project) {
  return MakeSampleImage(3 * kBlock, project, "1.00.07", "2025/11/03", 0x7A3B);
}

bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* out, std::string* error) {
  *out = SimCommandLine{};
  MachineConfig& c = out->Config;
  c.CurrentDirectory = u"FS0:\\";  // the command line's documented default
  c.Argv0 = u"tarnwick";
  c.TraceEnabled = false;
  c.Time = HostLocalTime();
  std::string project = "TESTPRJ";
  bool sizeReplyGiven = false;
  size_t i = 0;
  auto value = [&](const std::string& option, std::string* v) {
    if (i + 1 >= args.size()) {
      *error = option + " needs a value";
      return false;
    }
    *v = args[++i];
    return true;
  };
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    uint64_t n = 0;
    if (a == "--") {
      ++i;
      break;
    }
    if (a.compare(0, 2, "--") != 0) break;  // the program's arguments start here
    if (a == "--help" || a == "-h") {
      out->Help = true;
    } else if (a == "--volume") {
      if (!value(a, &v)) return false;
      c.Volumes.push_back(v);
    } else if (a == "--cwd") {
      if (!value(a, &v)) return false;
      if (!IsShellDirectory(v)) return *error = "--cwd " + v + ": not of the form FSn: or FSn:\\path", false;
      c.CurrentDirectory = FromUtf8(v);
    } else if (a == "--no-cwd") {
      c.CurrentDirectory.reset();
    } else if (a == "--ec-flash") {
      if (!value(a, &out->FlashFile)) return false;
    } else if (a == "--ec-size-reply") {
      if (!value(a, &v) || !ParseNumber(v, 0xFF, &n)) return *error = "--ec-size-reply needs a byte", false;
      c.Ec.SizeReply = static_cast<uint8_t>(n);
      sizeReplyGiven = true;
    } else if (a == "--ec-project") {
      if (!value(a, &project)) return false;
      SetReply(project, c.Ec.Project, &c.Ec.ProjectLength);
    } else if (a == "--ec-no-project") {
      c.Ec.ProjectLength = 0;
    } else if (a == "--ec-version") {
      if (!value(a, &v)) return false;
      SetReply(v, c.Ec.Version, &c.Ec.VersionLength);
    } else if (a == "--ec-no-version") {
      c.Ec.VersionLength = 0;
    } else if (a == "--ec-ports") {
      if (!value(a, &v) || !ParseNumber(v, 3, &n)) return *error = "--ec-ports needs 0..3", false;
      c.Ec.CommandPortSet = static_cast<uint8_t>(n);
    } else if (a == "--ec-mode-reply") {
      if (!value(a, &v) || !ParseNumber(v, 0xFF, &n)) return *error = "--ec-mode-reply needs a byte", false;
      c.Ec.HasModeReply = true;
      c.Ec.ModeReply = static_cast<uint8_t>(n);
    } else if (a == "--ec-no-mode-reply") {
      c.Ec.HasModeReply = false;
    } else if (a == "--ec-id") {
      std::vector<uint8_t> bytes;
      if (!value(a, &v) || !ParseBytes(v, sizeof c.Ec.Id, &bytes)) return *error = "--ec-id needs hex bytes", false;
      for (size_t k = 0; k < bytes.size(); ++k) c.Ec.Id[k] = bytes[k];
      c.Ec.IdLength = static_cast<uint8_t>(bytes.size());
    } else if (a == "--ec-erase-reply") {
      std::vector<uint8_t> bytes;
      if (!value(a, &v) || !ParseBytes(v, sizeof c.Ec.EraseCompletion, &bytes)) {
        return *error = "--ec-erase-reply needs hex bytes", false;
      }
      for (size_t k = 0; k < bytes.size(); ++k) c.Ec.EraseCompletion[k] = bytes[k];
      c.Ec.EraseCompletionLength = static_cast<uint8_t>(bytes.size());
    } else if (a == "--ec-ac") {
      std::vector<uint8_t> bytes;
      if (!value(a, &v) || !ParseBytes(v, sizeof c.Ec.AcReadings, &bytes)) return *error = "--ec-ac needs hex bytes", false;
      for (size_t k = 0; k < bytes.size(); ++k) c.Ec.AcReadings[k] = bytes[k];
      c.Ec.AcReadingsLength = static_cast<uint8_t>(bytes.size());
    } else if (a == "--ec-ibf-busy") {
      if (!value(a, &v) || !ParseNumber(v, 1000000, &n)) return *error = "--ec-ibf-busy needs a count", false;
      c.Ec.IbfBusyReads = static_cast<uint32_t>(n);
    } else if (a == "--ec-fault") {
      if (!value(a, &v) || !ParseEcFault(v, &c.Ec, error)) return false;
    } else if (a == "--fault") {
      if (!value(a, &v) || !ParseFault(v, &c.Fault, error)) return false;
    } else if (a == "--no-ac") {
      c.Ec.AcReadings[0] = 0x00;
      c.Ec.AcReadingsLength = 1;
    } else if (a == "--no-ec") {
      c.Ec.Present = false;
    } else if (a == "--keys") {
      if (!value(a, &v) || !ParseKeys(v, &c.Keys)) return *error = "--keys: unknown escape", false;
    } else if (a == "--time") {
      if (!value(a, &v) || !ParseTime(v, &c.Time)) return *error = "--time needs YYYY-MM-DDTHH:MM:SS", false;
    } else if (a == "--console") {
      unsigned cols = 0, rows = 0;
      char tail;
      if (!value(a, &v) || std::sscanf(v.c_str(), "%ux%u%c", &cols, &rows, &tail) != 2 || cols < 1 || rows < 1 ||
          cols > 1000 || rows > 1000) {
        return *error = "--console needs COLSxROWS", false;
      }
      c.Columns = cols;
      c.Rows = rows;
    } else if (a == "--trace") {
      if (!value(a, &out->TraceFile)) return false;
      c.TraceEnabled = true;
    } else if (a == "--stalls") {
      if (!value(a, &out->StallsFile)) return false;
    } else if (a == "--plain") {
      out->Plain = true;
    } else if (a == "--no-interactive") {
      out->Interactive = false;
    } else if (a == "--ansi") {
      out->Ansi = true;
    } else if (a == "--screen") {
      if (!value(a, &out->ScreenFile)) return false;
    } else if (a == "--log") {
      if (!value(a, &out->LogFile)) return false;
    } else if (a == "--stats") {
      out->Stats = true;
      c.TraceEnabled = true;
    } else if (a == "--trace-format") {
      if (!value(a, &v) || (v != "raw" && v != "annotated")) return *error = "--trace-format needs raw or annotated", false;
      out->AnnotatedTrace = v == "annotated";
    } else if (a == "--term-size") {
      unsigned cols = 0, rows = 0;
      char tail;
      if (!value(a, &v) || std::sscanf(v.c_str(), "%ux%u%c", &cols, &rows, &tail) != 2 || cols < 1 || rows < 1 ||
          cols > 1000 || rows > 1000) {
        return *error = "--term-size needs COLSxROWS", false;
      }
      out->TermColumns = cols;
      out->TermRows = rows;
    } else if (a == "--realtime") {
      c.RealTime = true;
    } else if (a == "--power-off") {
      if (!value(a, &v) || (v != "stay" && v != "halt")) return *error = "--power-off needs stay or halt", false;
      c.PowerOff = v == "halt" ? PowerOffMode::Halt : PowerOffMode::Stay;
    } else if (a == "--shell") {
      if (!value(a, &v)) return false;
      if (v == "parameters") {
        c.Shell = ShellKind::Parameters;
      } else if (v == "interface") {
        c.Shell = ShellKind::InterfaceOnly;
      } else if (v == "none") {
        c.Shell = ShellKind::None;
      } else {
        return *error = "--shell needs parameters, interface or none", false;
      }
    } else {
      *error = "unknown option " + a + " (see --help)";
      return false;
    }
  }
  for (; i < args.size(); ++i) c.Args.push_back(FromUtf8(args[i]));
  if (out->Help) return true;

  if (!out->FlashFile.empty()) {
    // A file that cannot be used is an I/O error (74), not a bad command line.
    out->FailureExit = 74;
    const std::string& name = out->FlashFile;
    struct stat st;
    if (::stat(name.c_str(), &st) != 0) return *error = "cannot read the flash file " + name + ": " + std::strerror(errno), false;
    if (!S_ISREG(st.st_mode)) return *error = "the flash file " + name + " is not a regular file", false;
    size_t size = static_cast<size_t>(st.st_size);
    if (size < kBlock || size > 4 * kBlock || size % kBlock != 0) {
      *error = "the flash file " + name + " holds " + std::to_string(size) +
               " bytes; it must hold 64K, 128K, 192K or 256K bytes (65536, 131072, 196608 or 262144)";
      return false;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) return *error = "cannot read the flash file " + name + ": " + std::strerror(errno), false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string data = bytes.str();
    if (data.size() != size) return *error = "cannot read the flash file " + name + " whole", false;
    out->FailureExit = 64;
    c.Flash.assign(data.begin(), data.end());
  } else {
    c.Flash = DefaultFlash(project);
  }
  c.Ec.FlashSize = static_cast<uint32_t>(c.Flash.size());
  if (!sizeReplyGiven) c.Ec.SizeReply = SizeReplyFor(c.Ec.FlashSize);
  return true;
}

std::string EfiStatusName(EfiStatus status) {
  static const char* const kNames[] = {
      "EFI_SUCCESS", "EFI_LOAD_ERROR", "EFI_INVALID_PARAMETER", "EFI_UNSUPPORTED", "EFI_BAD_BUFFER_SIZE",
      "EFI_BUFFER_TOO_SMALL", "EFI_NOT_READY", "EFI_DEVICE_ERROR", "EFI_WRITE_PROTECTED", "EFI_OUT_OF_RESOURCES",
      "EFI_VOLUME_CORRUPTED", "EFI_VOLUME_FULL", "EFI_NO_MEDIA", "EFI_MEDIA_CHANGED", "EFI_NOT_FOUND",
      "EFI_ACCESS_DENIED", "EFI_NO_RESPONSE", "EFI_NO_MAPPING", "EFI_TIMEOUT", "EFI_NOT_STARTED",
      "EFI_ALREADY_STARTED", "EFI_ABORTED", "EFI_ICMP_ERROR", "EFI_TFTP_ERROR", "EFI_PROTOCOL_ERROR",
      "EFI_INCOMPATIBLE_VERSION", "EFI_SECURITY_VIOLATION", "EFI_CRC_ERROR", "EFI_END_OF_MEDIA"};
  constexpr size_t kCount = sizeof(kNames) / sizeof(kNames[0]);
  if (status == kEfiSuccess) return kNames[0];
  if (EfiIsError(status)) {
    uint64_t n = status & ~kEfiErrorBit;
    if (n > 0 && n < kCount) return kNames[n];
  } else if (status == kEfiWarnDeleteFailure) {
    return "EFI_WARN_DELETE_FAILURE";
  }
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(status));
  return text;
}

std::string SummaryLine() {
  const Machine& m = gMachine;
  std::string status;
  if (m.KeysExhausted) {
    status = "no-keys-left";
  } else if (m.PoweredOff) {
    status = "powered-off";
  } else {
    status = EfiStatusName(m.ExitStatus);
  }
  std::string code = "-";
  if (m.ExitCode >= 0) {
    code = std::to_string(m.ExitCode);
  } else if (!m.PoweredOff && m.ExitStatus == kEfiSuccess) {
    code = "0";  // the entry answers EFI_SUCCESS for code 0 only
  }
  std::string events;
  for (const auto& name : EventNames()) events += (events.empty() ? "" : ",") + name;
  if (events.empty()) events = "none";
  return "tarnwick-sim: status=" + status + " code=" + code + " events=" + events;
}

int SimExitStatus() {
  const Machine& m = gMachine;
  if (m.KeysExhausted) return 125;
  if (m.PoweredOff) return 0;
  if (m.ExitStatus == kEfiSuccess) return 0;
  int low = static_cast<int>(m.ExitStatus & 0xFF);
  return low == 0 ? 1 : low;
}

std::string SimHelpText() {
  return R"(tarnwick-sim: runs tarnwick on a simulated notebook (EC, volumes, console, keys, clock).

usage: tarnwick-sim [machine options] -- [tarnwick arguments ...]      (Argv[0] is "tarnwick")

Machine:
  --volume DIR          add a volume backed by DIR; the first is FS0:, the next FS1:, ... (repeatable)
  --cwd PATH            the shell's current directory, FSn: or FSn:\path, e.g. FS0:\EC (default FS0:\);
                        --no-cwd: none
  --shell KIND          parameters (default), interface (only the older shell interface) or none
  --time YYYY-MM-DDTHH:MM:SS   the firmware clock (default: the host's local time)
  --console COLSxROWS   console size (default 100x31)
  --keys TEXT           key presses, in order (\r Enter, \e Escape, \U \D \R \L the arrows, \n \t \b \\);
                        when they are used up, keys are read from the terminal if stdin and stdout are one;
                        otherwise waiting for a key ends the run (status=no-keys-left)
  --no-interactive      never read keys from the terminal
  --realtime            Stall really waits (default: virtual time, instant)
  --power-off stay|halt what happens when the EC switches the machine off (0x95): stay (default) records it and
                        the program runs on; halt ends the run there (the summary then says status=powered-off)

EC:
  --ec-flash FILE       the EC flash: read at start, written back at a normal end; its size (64K..256K) is the flash
                        size (without it: a 192K flash holding an older image, not saved)
  --ec-size-reply N     the mailbox reply of the size probe (default: 0x20, 0x40 or 0x80 matching the flash size;
                        128K gives 0x20)
  --ec-project TEXT     the EC's project reply (a '$' is appended); default "TESTPRJ"; --ec-no-project: no answer
  --ec-version TEXT     the EC's version reply (a '$' is appended); default "01.00"; --ec-no-version: no answer
  --ec-ports N          the port set (0..3) on which the EC's command interface answers (default 1)
  --ec-mode-reply N     reply byte to the flash mode query (default 0x00); --ec-no-mode-reply: none
  --ec-id BYTES         the part ID bytes, hex, e.g. EF,40,13,00
  --ec-erase-reply BYTES  bytes queued after a chip erase (default F8)
  --ec-ac BYTES         successive readings of EC RAM 0x10 (the last repeats; default 01)
  --ec-ibf-busy N       status reads for which IBF stays set after each write (default 0)
  --ec-fault FAULT      an EC fault (repeatable): ibf-stuck, ibf-stuck-after:N, obf-never, erase-no-obf,
                        drop-writes-while-ibf, stale:CMD:BYTES (bytes queued before command CMD's answer),
                        stuck-zero:ADDR:MASK, never-program:ADDR, reads-wrong:ADDR, erase-leaves:ADDR:PASS
  --no-ac               the AC adapter is absent
  --no-ec               nothing answers on any EC port

Firmware faults:
  --fault FAULT         (repeatable) no-fs, locate-handles:STATUS, open-volume:INDEX, open:PATH[:STATUS],
                        create:PATH, create-call:N, getinfo:STATUS, getinfo-call:N, file-size:N, info-size:N,
                        read-call:N, read-short:N (every Read delivers at most N bytes), read-stop:N (Reads
                        deliver nothing from file offset N on), write-call:N, write-short:N, close-call:N, close:PATH,
                        delete-call:N, setinfo-call:N, alloc-call:N, alloc-size:N, gettime, readkey:N,
                        power-cut:N (the power goes after N port operations).  STATUS is a name such as
                        EFI_DEVICE_ERROR; "call:N" faults hit the N-th such call.

Output:
  --trace FILE          write every port access to FILE, one per line: R or W, the port and the value in two-digit
                        hex, e.g. "W 66 81"
  --stalls FILE         write every Stall to FILE, one per line: the port accesses made before it and its
                        microseconds, e.g. "1234 15000"
  --trace-format raw|annotated  raw (default) as above; annotated: each EC operation's start marked with its name
                        and bytes, e.g. == block read (03 01); runs of identical accesses on one line, e.g.
                        R 66 02 ×100001
  --stats               at exit print to stderr the port accesses, commands and stall time per EC operation (erase,
                        program, block read, ...), and the time the run would take on real hardware at 1 us per port
                        access plus the stalls
  --plain               every character the program writes, in order (backspaces included), with no escape
                        sequences; attribute changes and cursor moves are not shown (default when stdout is not a
                        terminal)
  --ansi                draw the console with ANSI colours and cursor moves even when stdout is not a terminal
  --term-size COLSxROWS the terminal's size for the ANSI view (default: asked from the terminal; otherwise the
                        console's). On a smaller terminal the view follows the cursor, keeping one row free below
                        it; columns beyond the terminal's width are not drawn
  --log FILE            also write the plain text (what --plain prints) to FILE, e.g. while the terminal shows the
                        ANSI view and keys are typed live
  --screen FILE         at exit write the console screen's text to FILE, one line per row, trailing blanks cut
  --help                this text; --version: the version of this build

At exit one line goes to stderr:
  tarnwick-sim: status=<EFI_SUCCESS or the error's name> code=<FlashAppMain's code> events=<machine events or none>
The exit status is 0 for EFI_SUCCESS (and when the machine switched itself off), otherwise the low bits of the
error status (3 for EFI_UNSUPPORTED), 125 when the program waited for a key that never came, 64 for a bad
command line.
Before anything runs, the volumes, the files to write (flash, trace, screen, log) and the flash file's size are
checked; nothing runs and no file is touched when one fails: 64 for a malformed option (a --cwd not FSn: or
FSn:\path), 74 for a file or folder that cannot be used (the message names it and the cause). 74 also when a file
cannot be written at exit.
Ctrl-C (SIGINT) or SIGTERM ends the run at once: the terminal is restored, the flash, trace and screen files are
left as they were, and the exit status is 130 (SIGINT) or 143 (SIGTERM).
)";
}

}  // namespace sim
