#include "sim/command_line.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/help_format.h"
#include "sim/host_state.h"
#include "sim/option_table.h"
#include "sim/sample_image.h"

namespace sim {

namespace {

constexpr size_t kBlock = 65536;

EfiTime HostLocalTime() {
  time_t now = ::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return EfiTime{static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint8_t>(local.tm_mon + 1),
                 static_cast<uint8_t>(local.tm_mday), static_cast<uint8_t>(local.tm_hour),
                 static_cast<uint8_t>(local.tm_min), static_cast<uint8_t>(local.tm_sec), 0, 0, 2047, 0, 0};
}

// The option at args[*i] and its value (moving *i past it).
bool ApplyOption(const std::vector<std::string>& args, size_t* i, OptionTarget* target, std::string* error) {
  const std::string& name = args[*i];
  const SimOption* option = FindSimOption(name);
  if (option == nullptr) return *error = "unknown option " + name + " (see --help)", false;
  std::string value, why;
  if (option->Arg != nullptr) {
    if (*i + 1 >= args.size()) return *error = name + " needs a value", false;
    value = args[++*i];
  }
  if (option->Apply(value, target, &why)) return true;
  *error = name + " " + value + ": " + why;
  return false;
}

// The --ec-flash file, whole; its size must be a flash size.
bool ReadFlashFile(const std::string& name, std::vector<uint8_t>* flash, std::string* error) {
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
  flash->assign(data.begin(), data.end());
  return true;
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
  OptionTarget target{out};
  size_t i = 0;
  for (; i < args.size() && args[i].compare(0, 2, "--") == 0; ++i) {  // the program's arguments follow
    if (args[i] == "--") {
      ++i;
      break;
    }
    if (!ApplyOption(args, &i, &target, error)) return false;
  }
  for (; i < args.size(); ++i) c.Args.push_back(FromUtf8(args[i]));
  if (out->Help) return true;
  if (out->FlashFile.empty()) {
    c.Flash = DefaultFlash(target.Project);
  } else if (!ReadFlashFile(out->FlashFile, &c.Flash, error)) {
    out->FailureExit = 74;  // a file that cannot be used is an I/O error, not a bad command line
    return false;
  }
  c.Ec.FlashSize = static_cast<uint32_t>(c.Flash.size());
  if (!target.SizeReplyGiven) c.Ec.SizeReply = EcSizeReplyFor(c.Ec.FlashSize);
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

namespace {

const char kHelpIntro[] = R"(tarnwick-sim: runs tarnwick on a simulated notebook (EC, volumes, console, keys, clock).

usage: tarnwick-sim [machine options] -- [tarnwick arguments ...]      (Argv[0] is "tarnwick")
)";

const char kHelpEnd[] = R"(
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

std::string HelpSectionText(HelpSection section, const char* title) {
  std::string text = std::string("\n") + title + ":\n";
  for (const SimOption& option : SimOptions()) {
    if (option.Section != section) continue;
    std::string left = option.Name;
    if (option.Arg != nullptr) left += std::string(" ") + option.Arg;
    text += HelpEntry(left, option.Help, 2, 24);
    if (option.MoreHelp != nullptr) text += option.MoreHelp();
  }
  return text;
}

}  // namespace

std::string SimHelpText() {
  return kHelpIntro + HelpSectionText(HelpSection::Machine, "Machine") + HelpSectionText(HelpSection::Ec, "EC") +
         HelpSectionText(HelpSection::FirmwareFaults, "Firmware faults") + HelpSectionText(HelpSection::Output, "Output") +
         kHelpEnd;
}

}  // namespace sim
