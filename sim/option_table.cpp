#include "sim/option_table.h"

#include "sim/fault_table.h"
#include "sim/host_state.h"
#include "sim/option_values.h"

namespace sim {

namespace {

using Value = const std::string&;
using Why = std::string*;

MachineConfig& Config(OptionTarget* t) { return t->Line->Config; }

bool Refuse(Why why, const std::string& text) {
  *why = text;
  return false;
}

// A reply the EC sends as it is, with a '$' appended (at most 64 bytes).
void SetReply(const std::string& text, uint8_t* bytes, uint8_t* length) {
  std::string reply = text + "$";
  if (reply.size() > 64) reply.resize(64);
  for (size_t i = 0; i < reply.size(); ++i) bytes[i] = static_cast<uint8_t>(reply[i]);
  *length = static_cast<uint8_t>(reply.size());
}

// Hex bytes into a fixed field of max bytes and its length.
bool SetBytes(Value v, size_t max, uint8_t* field, uint8_t* length, Why why) {
  std::vector<uint8_t> bytes;
  if (!ParseBytes(v, max, &bytes)) return Refuse(why, "needs at most " + std::to_string(max) + " hex bytes");
  for (size_t k = 0; k < bytes.size(); ++k) field[k] = bytes[k];
  *length = static_cast<uint8_t>(bytes.size());
  return true;
}

bool SetByte(Value v, uint8_t* field, Why why) {
  uint64_t n = 0;
  if (!ParseNumber(v, 0xFF, &n)) return Refuse(why, "needs a byte");
  *field = static_cast<uint8_t>(n);
  return true;
}

bool SetShell(Value v, OptionTarget* t, Why why) {
  ShellKind& shell = Config(t).Shell;
  if (v == "parameters") {
    shell = ShellKind::Parameters;
  } else if (v == "interface") {
    shell = ShellKind::InterfaceOnly;
  } else if (v == "none") {
    shell = ShellKind::None;
  } else {
    return Refuse(why, "needs parameters, interface or none");
  }
  return true;
}

// The rows of one section, in the order the help lists them.
const SimOption kMachine[] = {
    {"--volume", "DIR", HelpSection::Machine,
     "add a volume backed by DIR; the first is FS0:, the next FS1:, ... (repeatable)",
     [](Value v, OptionTarget* t, Why) { Config(t).Volumes.push_back(v); return true; }, nullptr},
    {"--cwd", "PATH", HelpSection::Machine,
     "the shell's current directory, FSn: or FSn:\\path, e.g. FS0:\\EC (default FS0:\\)",
     [](Value v, OptionTarget* t, Why why) {
       if (!IsShellDirectory(v)) return Refuse(why, "not of the form FSn: or FSn:\\path");
       Config(t).CurrentDirectory = FromUtf8(v);
       return true;
     }, nullptr},
    {"--no-cwd", nullptr, HelpSection::Machine, "the shell has no current directory",
     [](Value, OptionTarget* t, Why) { Config(t).CurrentDirectory.reset(); return true; }, nullptr},
    {"--shell", "KIND", HelpSection::Machine,
     "parameters (default), interface (only the older shell interface) or none", SetShell, nullptr},
    {"--time", "YYYY-MM-DDTHH:MM:SS", HelpSection::Machine, "the firmware clock (default: the host's local time)",
     [](Value v, OptionTarget* t, Why why) {
       return ParseTime(v, &Config(t).Time) || Refuse(why, "needs YYYY-MM-DDTHH:MM:SS");
     }, nullptr},
    {"--console", "COLSxROWS", HelpSection::Machine, "console size (default 100x31)",
     [](Value v, OptionTarget* t, Why why) {
       return ParseGrid(v, &Config(t).Columns, &Config(t).Rows) || Refuse(why, "needs COLSxROWS, 1..1000 each");
     }, nullptr},
    {"--keys", "TEXT", HelpSection::Machine,
     "key presses, in order (\\r Enter, \\e Escape, \\U \\D \\R \\L the arrows, \\n \\t \\b \\\\); when they are used "
     "up, keys are read from the terminal if stdin is one; otherwise waiting for a key ends the run "
     "(status=no-keys-left)",
     [](Value v, OptionTarget* t, Why why) {
       return ParseKeys(v, &Config(t).Keys) || Refuse(why, "unknown escape");
     }, nullptr},
    {"--no-interactive", nullptr, HelpSection::Machine, "never read keys from the terminal",
     [](Value, OptionTarget* t, Why) { t->Line->Interactive = false; return true; }, nullptr},
    {"--realtime", nullptr, HelpSection::Machine, "Stall really waits (default: virtual time, instant)",
     [](Value, OptionTarget* t, Why) { Config(t).RealTime = true; return true; }, nullptr},
    {"--power-off", "stay|halt", HelpSection::Machine,
     "what happens when the EC switches the machine off (0x95): stay (default) records it and the program runs on; "
     "halt ends the run there (the summary then says status=powered-off)",
     [](Value v, OptionTarget* t, Why why) {
       if (v != "stay" && v != "halt") return Refuse(why, "needs stay or halt");
       Config(t).PowerOff = v == "halt" ? PowerOffMode::Halt : PowerOffMode::Stay;
       return true;
     }, nullptr},
};

const SimOption kEc[] = {
    {"--ec-flash", "FILE", HelpSection::Ec,
     "the EC flash: read at start, written back at a normal end; its size (64K..256K) is the flash size (without "
     "it: a 192K flash holding an older image, not saved)",
     [](Value v, OptionTarget* t, Why) { t->Line->FlashFile = v; return true; }, nullptr},
    {"--ec-size-reply", "N", HelpSection::Ec,
     "the mailbox reply of the size probe (default: 0x20, 0x40 or 0x80 matching the flash size; 128K gives 0x20)",
     [](Value v, OptionTarget* t, Why why) {
       if (!SetByte(v, &Config(t).Ec.SizeReply, why)) return false;
       t->SizeReplyGiven = true;
       return true;
     }, nullptr},
    {"--ec-project", "TEXT", HelpSection::Ec, "the EC's project reply (a '$' is appended); default \"TESTPRJ\"",
     [](Value v, OptionTarget* t, Why) {
       t->Project = v;
       SetReply(v, Config(t).Ec.Project, &Config(t).Ec.ProjectLength);
       return true;
     }, nullptr},
    {"--ec-no-project", nullptr, HelpSection::Ec, "the EC does not answer the project query",
     [](Value, OptionTarget* t, Why) { Config(t).Ec.ProjectLength = 0; return true; }, nullptr},
    {"--ec-version", "TEXT", HelpSection::Ec, "the EC's version reply (a '$' is appended); default \"01.00\"",
     [](Value v, OptionTarget* t, Why) { SetReply(v, Config(t).Ec.Version, &Config(t).Ec.VersionLength); return true; },
     nullptr},
    {"--ec-no-version", nullptr, HelpSection::Ec, "the EC does not answer the version query",
     [](Value, OptionTarget* t, Why) { Config(t).Ec.VersionLength = 0; return true; }, nullptr},
    {"--ec-ports", "N", HelpSection::Ec, "the port set (0..3) on which the EC's command interface answers (default 1)",
     [](Value v, OptionTarget* t, Why why) {
       uint64_t n = 0;
       if (!ParseNumber(v, 3, &n)) return Refuse(why, "needs 0..3");
       Config(t).Ec.CommandPortSet = static_cast<uint8_t>(n);
       return true;
     }, nullptr},
    {"--ec-mode-reply", "N", HelpSection::Ec, "reply byte to the flash mode query (default 0x00)",
     [](Value v, OptionTarget* t, Why why) {
       if (!SetByte(v, &Config(t).Ec.ModeReply, why)) return false;
       Config(t).Ec.HasModeReply = true;
       return true;
     }, nullptr},
    {"--ec-no-mode-reply", nullptr, HelpSection::Ec, "no reply to the flash mode query",
     [](Value, OptionTarget* t, Why) { Config(t).Ec.HasModeReply = false; return true; }, nullptr},
    {"--ec-id", "BYTES", HelpSection::Ec, "the part ID bytes, hex, e.g. EF,40,13,00",
     [](Value v, OptionTarget* t, Why why) {
       EcConfig& ec = Config(t).Ec;
       return SetBytes(v, sizeof ec.Id, ec.Id, &ec.IdLength, why);
     }, nullptr},
    {"--ec-erase-reply", "BYTES", HelpSection::Ec, "bytes queued after a chip erase (default F8); '': sends no completion byte",
     [](Value v, OptionTarget* t, Why why) {
       EcConfig& ec = Config(t).Ec;
       return SetBytes(v, sizeof ec.EraseCompletion, ec.EraseCompletion, &ec.EraseCompletionLength, why);
     }, nullptr},
    {"--ec-ac", "BYTES", HelpSection::Ec, "successive readings of EC RAM 0x10 (the last repeats; default 01)",
     [](Value v, OptionTarget* t, Why why) {
       EcConfig& ec = Config(t).Ec;
       return SetBytes(v, sizeof ec.AcReadings, ec.AcReadings, &ec.AcReadingsLength, why);
     }, nullptr},
    {"--ec-ibf-busy", "N", HelpSection::Ec, "status reads for which IBF stays set after each write (default 0)",
     [](Value v, OptionTarget* t, Why why) {
       uint64_t n = 0;
       if (!ParseNumber(v, 1000000, &n)) return Refuse(why, "needs a count (0..1000000)");
       Config(t).Ec.IbfBusyReads = static_cast<uint32_t>(n);
       return true;
     }, nullptr},
    {"--ec-ibf-busy-command", "N", HelpSection::Ec,
     "status reads for which IBF stays set after each command byte, on top of --ec-ibf-busy (default 0)",
     [](Value v, OptionTarget* t, Why why) {
       uint64_t n = 0;
       if (!ParseNumber(v, 1000000, &n)) return Refuse(why, "needs a count (0..1000000)");
       Config(t).Ec.IbfBusyCommandReads = static_cast<uint32_t>(n);
       return true;
     }, nullptr},
    {"--ec-fault", "FAULT", HelpSection::Ec, "an EC fault (repeatable), one of:",
     [](Value v, OptionTarget* t, Why why) { return ParseEcFault(v, &Config(t).Ec, why); }, EcFaultHelp},
    {"--no-ac", nullptr, HelpSection::Ec, "the AC adapter is absent",
     [](Value, OptionTarget* t, Why) {
       Config(t).Ec.AcReadings[0] = 0x00;
       Config(t).Ec.AcReadingsLength = 1;
       return true;
     }, nullptr},
    {"--no-ec", nullptr, HelpSection::Ec, "nothing answers on any EC port",
     [](Value, OptionTarget* t, Why) { Config(t).Ec.Present = false; return true; }, nullptr},
};

const SimOption kFirmwareFaults[] = {
    {"--fault", "FAULT", HelpSection::FirmwareFaults,
     "a firmware fault (repeatable), one of the kinds below. STATUS is a name such as EFI_DEVICE_ERROR; \"-call:N\" "
     "faults hit the N-th such call.",
     [](Value v, OptionTarget* t, Why why) { return ParseFirmwareFault(v, &Config(t).Fault, why); }, FirmwareFaultHelp},
};

const SimOption kOutput[] = {
    {"--trace", "FILE", HelpSection::Output,
     "write every port access to FILE, one per line: R or W, the port and the value in two-digit hex, e.g. \"W 66 81\"",
     [](Value v, OptionTarget* t, Why) {
       t->Line->TraceFile = v;
       Config(t).TraceEnabled = true;
       return true;
     }, nullptr},
    {"--stalls", "FILE", HelpSection::Output,
     "write every Stall to FILE, one per line: the port accesses made before it and its microseconds, e.g. "
     "\"1234 15000\"",
     [](Value v, OptionTarget* t, Why) { t->Line->StallsFile = v; return true; }, nullptr},
    {"--trace-format", "raw|annotated", HelpSection::Output,
     "raw (default) as above; annotated: each EC operation's start marked with its name and bytes, e.g. "
     "==\u00A0block\u00A0read\u00A0(03\u00A001); runs of identical accesses on one line, e.g. R\u00A066\u00A002\u00A0×100001",
     [](Value v, OptionTarget* t, Why why) {
       if (v != "raw" && v != "annotated") return Refuse(why, "needs raw or annotated");
       t->Line->AnnotatedTrace = v == "annotated";
       return true;
     }, nullptr},
    {"--stats", nullptr, HelpSection::Output,
     "at exit print to stderr the port accesses, commands and stall time per EC operation (erase, program, block "
     "read, ...), and the time the run would take on real hardware at 1 us per port access plus the stalls",
     [](Value, OptionTarget* t, Why) {
       t->Line->Stats = true;
       Config(t).TraceEnabled = true;
       return true;
     }, nullptr},
    {"--plain", nullptr, HelpSection::Output,
     "every character the program writes, in order (backspaces included), with no escape sequences; attribute "
     "changes and cursor moves are not shown (default when stdout is not a terminal)",
     [](Value, OptionTarget* t, Why) { t->Line->Plain = true; return true; }, nullptr},
    {"--ansi", nullptr, HelpSection::Output,
     "draw the console with ANSI colours and cursor moves even when stdout is not a terminal",
     [](Value, OptionTarget* t, Why) { t->Line->Ansi = true; return true; }, nullptr},
    {"--term-size", "COLSxROWS", HelpSection::Output,
     "the terminal's size for the ANSI view (default: asked from the terminal; otherwise the console's). On a "
     "smaller terminal the view follows the cursor, keeping one row free below it; columns beyond the terminal's "
     "width are not drawn",
     [](Value v, OptionTarget* t, Why why) {
       return ParseGrid(v, &t->Line->TermColumns, &t->Line->TermRows) || Refuse(why, "needs COLSxROWS, 1..1000 each");
     }, nullptr},
    {"--log", "FILE", HelpSection::Output,
     "also write the plain text (what --plain prints) to FILE, e.g. while the terminal shows the ANSI view and keys "
     "are typed live",
     [](Value v, OptionTarget* t, Why) { t->Line->LogFile = v; return true; }, nullptr},
    {"--screen", "FILE", HelpSection::Output,
     "at exit write the console screen's text to FILE, one line per row, trailing blanks cut",
     [](Value v, OptionTarget* t, Why) { t->Line->ScreenFile = v; return true; }, nullptr},
    {"--help", nullptr, HelpSection::Output, "this text",
     [](Value, OptionTarget* t, Why) { t->Line->Help = true; return true; }, nullptr},
    // The program answers --version before the command line is parsed.
    {"--version", nullptr, HelpSection::Output, "the version of this build",
     [](Value, OptionTarget*, Why) { return true; }, nullptr},
};

template <size_t N>
void Append(std::vector<SimOption>* rows, const SimOption (&section)[N]) {
  rows->insert(rows->end(), section, section + N);
}

}  // namespace

const std::vector<SimOption>& SimOptions() {
  static const std::vector<SimOption> kRows = [] {
    std::vector<SimOption> rows;
    Append(&rows, kMachine);
    Append(&rows, kEc);
    Append(&rows, kFirmwareFaults);
    Append(&rows, kOutput);
    return rows;
  }();
  return kRows;
}

const SimOption* FindSimOption(const std::string& name) {
  for (const SimOption& option : SimOptions()) {
    if (name == option.Name) return &option;
  }
  return nullptr;
}

}  // namespace sim
