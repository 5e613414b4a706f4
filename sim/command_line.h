// The command line of tarnwick-sim, parsed into a machine configuration.
// Kept apart from the program so that tests can parse without a process.
#pragma once

#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

struct SimCommandLine {
  MachineConfig Config;
  std::string FlashFile;      // --ec-flash: read at start, written back at exit
  std::string TraceFile;      // --trace
  std::string ScreenFile;     // --screen
  std::string StallsFile;     // --stalls
  bool Plain = false;         // --plain
  bool Ansi = false;          // --ansi: draw with escapes even when stdout is no terminal
  bool Help = false;          // --help (or -h)
  bool HelpEc = false;        // --help-ec: only the EC's options
  bool PrintEcCfg = false;    // --print-ec-cfg: the EC's options as EC.CFG lines, nothing runs
  std::string EcCfg;          // those lines, "ec-ports = 2\n", in the order given
  bool Interactive = true;    // --no-interactive: never read keys from the terminal
  std::string LogFile;        // --log: the plain text, written while the terminal shows the ANSI view
  bool Stats = false;         // --stats: port accesses per operation at exit
  bool AnnotatedTrace = false;  // --trace-format annotated
  size_t TermColumns = 0, TermRows = 0;  // --term-size: the terminal's size (0: ask the terminal)
  int FailureExit = 64;       // when parsing fails: 64 a bad command line, 74 a file that cannot be used
};

// "FS0:", "FS12:\EC\TOOLS": a current directory as the shell reports it.
bool IsShellDirectory(const std::string& text);

// Parses args (without the program name). On a mistake returns false and a
// one-line message (and out->FailureExit). Reads the --ec-flash file (its size
// is the flash size). A --cwd must name one of the volumes.
bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* out, std::string* error);

std::string SimHelpText();
// The "EC" part of it: the EC's options and fault kinds.
std::string SimEcHelpText();

// "EFI_SUCCESS", "EFI_UNSUPPORTED", ... (or the number in hex).
std::string EfiStatusName(EfiStatus status);

// The summary line of a finished run, without the line end:
// "tarnwick-sim: status=EFI_UNSUPPORTED code=1 events=none".
std::string SummaryLine();

// The process exit status for the run just finished: 0 for EFI_SUCCESS and
// for a machine that switched itself off, the low bits of an error status.
int SimExitStatus();

}  // namespace sim
