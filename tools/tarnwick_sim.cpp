// tarnwick-sim: boots the simulated notebook and runs tarnwick on it, so the
// tool can be tried without hardware. `tarnwick-sim --help` lists the options.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/interrupt_guard.h"
#include "sim/machine.h"
#include "sim/preflight.h"
#include "sim/terminal_keys.h"
#include "sim/terminal_view.h"
#include "sim/trace_operations.h"
#include "tools/version.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string TraceText() {
  std::string text;
  char line[16];
  for (const sim::PortAccess& access : sim::TheMachine().Trace) {
    std::snprintf(line, sizeof(line), "%c %02X %02X\n", access.Write ? 'W' : 'R', access.Port & 0xFF, access.Value);
    text += line;
  }
  return text;
}

std::string StallsText() {
  const sim::Machine& m = sim::TheMachine();
  std::string text;
  for (size_t i = 0; i < m.Stalls.size(); i++) {
    text += std::to_string(m.StallPortOps[i]) + " " + std::to_string(m.Stalls[i]) + "\n";
  }
  return text;
}

// Whether stdout and stderr end up in the same place (one terminal, one
// file or pipe), so that the summary on stderr follows stdout's last line.
bool StdoutMeetsStderr() {
  struct stat out, err;
  if (isatty(STDOUT_FILENO) && isatty(STDERR_FILENO)) return true;
  return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev &&
         out.st_ino == err.st_ino;
}

// Writes one output file; counts and reports a failure.
void WriteOutput(const std::string& path, const char* what, const std::string& bytes, int* failures) {
  if (path.empty() || WriteFile(path, bytes)) return;
  std::fprintf(stderr, "tarnwick-sim: cannot write the %s file %s\n", what, path.c_str());
  (*failures)++;
}

// Boots the machine and runs the program with the console drawn on stdout
// (and copied to log); keys come from the terminal when stdin is one.
void RunOnTerminal(const sim::SimCommandLine& line, std::FILE* log, sim::TerminalView* view) {
  size_t termColumns = line.TermColumns, termRows = line.TermRows;
  if (termRows == 0 && view->Ansi()) sim::TerminalView::QueryTerminalSize(STDOUT_FILENO, &termColumns, &termRows);
  view->SetTerminalSize(termColumns, termRows);
  view->SetLog(log);
  sim::SetInterruptRestore(view->RestoreSequence());
  view->Attach();
  // Keys come from the terminal whenever stdin is one, also while stdout goes
  // to a pipe or file (tarnwick-sim ... | tee log).
  if (line.Interactive && isatty(STDIN_FILENO)) {
    sim::SetKeySource([](InputKey* key) { return sim::ReadTerminalKey(key); });
  }
  sim::RunTarnwick();
  view->Finish();
}

// After the run: the log closed, the flash, trace, stalls and screen files
// written whole, what was left behind, the stats and the summary line.
// Returns how many files could not be written.
int FinishRun(const sim::SimCommandLine& line, std::FILE* log, const sim::TerminalView& view) {
  int failures = 0;
  sim::HoldInterrupts();
  if (!view.AtLineStart() && StdoutMeetsStderr()) std::fputc('\n', stdout);
  std::fflush(stdout);
  if (log != nullptr && std::fclose(log) != 0) {
    std::fprintf(stderr, "tarnwick-sim: cannot write the log file %s\n", line.LogFile.c_str());
    failures++;
  }
  const sim::Machine& m = sim::TheMachine();
  const std::vector<uint8_t> flash = line.FlashFile.empty() ? std::vector<uint8_t>() : sim::FlashContents();
  WriteOutput(line.FlashFile, "flash", std::string(flash.begin(), flash.end()), &failures);
  std::vector<sim::TraceOperation> operations;
  if (line.Stats || line.AnnotatedTrace) operations = sim::SplitIntoOperations(m.Trace);
  if (!line.TraceFile.empty()) {
    WriteOutput(line.TraceFile, "trace", line.AnnotatedTrace ? sim::AnnotatedTrace(m.Trace, operations) : TraceText(),
                &failures);
  }
  if (!line.StallsFile.empty()) WriteOutput(line.StallsFile, "stalls", StallsText(), &failures);
  if (!line.ScreenFile.empty()) WriteOutput(line.ScreenFile, "screen", m.Screen.ScreenText(), &failures);
  for (const std::string& detail : sim::TakeAudit().Details) {
    std::fprintf(stderr, "tarnwick-sim: left behind: %s\n", detail.c_str());
  }
  if (line.Stats) std::fputs(sim::StatsText(m.Trace, operations, m.NowUs).c_str(), stderr);
  std::fprintf(stderr, "%s\n", sim::SummaryLine().c_str());
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
    if (args[i] == "--version") return std::printf("tarnwick-sim %s\n", TarnwickVersion()) < 0 ? 74 : 0;
  }
  sim::SimCommandLine line;
  std::string error;
  if (!sim::ParseSimCommandLine(args, &line, &error)) {
    std::fprintf(stderr, "tarnwick-sim: %s\n", error.c_str());
    return line.FailureExit;
  }
  if (line.Help || line.HelpEc || line.PrintEcCfg) {
    const std::string text = line.Help ? sim::SimHelpText() : line.HelpEc ? sim::SimEcHelpText() : line.EcCfg;
    return std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0 ? 74 : 0;
  }
  const int refused = sim::CheckBeforeRun(line, &error);
  if (refused != 0) {
    std::fprintf(stderr, "tarnwick-sim: %s\n", error.c_str());
    return refused;
  }
  std::FILE* log = nullptr;
  if (!line.LogFile.empty() && (log = std::fopen(line.LogFile.c_str(), "wb")) == nullptr) {
    std::fprintf(stderr, "tarnwick-sim: the log file %s cannot be written: %s\n", line.LogFile.c_str(),
                 std::strerror(errno));
    return 74;
  }
  sim::InstallInterruptGuard();
  sim::Boot(line.Config);
  sim::TerminalView view(stdout, line.Ansi || (!line.Plain && isatty(STDOUT_FILENO)));
  RunOnTerminal(line, log, &view);
  // The run is over: the files are written whole, whatever signal comes.
  return FinishRun(line, log, view) != 0 ? 74 : sim::SimExitStatus();
}
