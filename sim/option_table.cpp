#include "sim/option_table.h"

#include "sim/ec_settings_help.h"
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
    {"--outer-shell-cwd", "PATH", HelpSection::Machine,
     "with --shell interface: the older shell was started from a newer one, whose protocol stays installed with "
     "this current directory (FSn: or FSn:\\path)",
     [](Value v, OptionTarget* t, Why why) {
       if (!IsShellDirectory(v)) return Refuse(why, "not of the form FSn: or FSn:\\path");
       Config(t).OuterShellDirectory = FromUtf8(v);
       return true;
     }, nullptr},
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

// --ec-flash names a host file; the other EC options are the EC's settings.
const SimOption kEcFlash[] = {
    {"--ec-flash", "FILE", HelpSection::Ec,
     "the EC flash: read at start, written back at a normal end; its size (64K, 128K, 192K or 256K) is the flash "
     "size (without it: a 192K flash holding an older image of the EC's project, version 1.00.07, not saved)",
     [](Value v, OptionTarget* t, Why) { t->Line->FlashFile = v; return true; }, nullptr},
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
     "smaller terminal the view follows the cursor, keeping one row free below it: what scrolls off goes to the "
     "terminal's scrollback in order, runs of blank rows show as one; columns beyond the terminal's width are not "
     "drawn",
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
    {"--help-ec", nullptr, HelpSection::Output,
     "only the EC's options and fault kinds of this text (scripts/qemu.sh --help shows them)",
     [](Value, OptionTarget* t, Why) { t->Line->HelpEc = true; return true; }, nullptr},
    {"--print-ec-cfg", nullptr, HelpSection::Output,
     "check the EC's options (and the --ec-flash file), print them as the lines of tarnwick-simec.efi's "
     "\\SIMEC\\EC.CFG (\"ec-ports = 2\", \"no-ac\") and run nothing",
     [](Value, OptionTarget* t, Why) { t->Line->PrintEcCfg = true; return true; }, nullptr},
    // The program answers --version before the command line is parsed.
    {"--version", nullptr, HelpSection::Output, "the version of this build",
     [](Value, OptionTarget*, Why) { return true; }, nullptr},
};

template <size_t N>
void Append(std::vector<SimOption>* rows, const SimOption (&section)[N]) {
  rows->insert(rows->end(), section, section + N);
}

// --NAME for every EC setting, in the table's order.
void AppendEcSettings(std::vector<SimOption>* rows) {
  for (size_t i = 0; i < kEcSettingCount; ++i) {
    const EcSettingRow& row = kEcSettings[i];
    SimOption option{std::string("--") + row.Name, row.Form, HelpSection::Ec, EcSettingHelp(row), nullptr,
                     row.Kind == EcValueKind::Fault ? EcFaultHelp : nullptr};
    option.EcRow = &row;
    rows->push_back(option);
  }
}

}  // namespace

const std::vector<SimOption>& SimOptions() {
  static const std::vector<SimOption> kRows = [] {
    std::vector<SimOption> rows;
    Append(&rows, kMachine);
    Append(&rows, kEcFlash);
    AppendEcSettings(&rows);
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
