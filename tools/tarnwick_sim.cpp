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
  if (line.Help) {
    std::fputs(sim::SimHelpText().c_str(), stdout);
    return 0;
  }

  int refused = sim::CheckBeforeRun(line, &error);
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

  bool ansi = line.Ansi || (!line.Plain && isatty(STDOUT_FILENO));
  sim::Boot(line.Config);
  sim::TerminalView view(stdout, ansi);
  size_t termColumns = line.TermColumns, termRows = line.TermRows;
  if (termRows == 0 && ansi) sim::TerminalView::QueryTerminalSize(STDOUT_FILENO, &termColumns, &termRows);
  view.SetTerminalSize(termColumns, termRows);
  view.SetLog(log);
  sim::SetInterruptRestore(view.RestoreSequence());
  view.Attach();
  // Keys come from the terminal whenever stdin is one, also while stdout goes
  // to a pipe or file (tarnwick-sim ... | tee log).
  if (line.Interactive && isatty(STDIN_FILENO)) {
    sim::SetKeySource([](InputKey* key) { return sim::ReadTerminalKey(key); });
  }
  sim::RunTarnwick();
  view.Finish();
  int failures = 0;
  // The run is over: the files below are written whole, whatever comes.
  sim::HoldInterrupts();
  if (!view.AtLineStart() && StdoutMeetsStderr()) std::fputc('\n', stdout);
  std::fflush(stdout);
  if (log != nullptr && std::fclose(log) != 0) {
    std::fprintf(stderr, "tarnwick-sim: cannot write the log file %s\n", line.LogFile.c_str());
    failures++;
  }

  if (!line.FlashFile.empty()) {
    std::vector<uint8_t> flash = sim::FlashContents();
    if (!WriteFile(line.FlashFile, std::string(flash.begin(), flash.end()))) {
      std::fprintf(stderr, "tarnwick-sim: cannot write the flash file %s\n", line.FlashFile.c_str());
      failures++;
    }
  }
  std::vector<sim::TraceOperation> operations;
  if (line.Stats || line.AnnotatedTrace) {
    operations = sim::SplitIntoOperations(sim::TheMachine().Trace);
  }
  if (!line.TraceFile.empty() &&
      !WriteFile(line.TraceFile,
                 line.AnnotatedTrace ? sim::AnnotatedTrace(sim::TheMachine().Trace, operations) : TraceText())) {
    std::fprintf(stderr, "tarnwick-sim: cannot write the trace file %s\n", line.TraceFile.c_str());
    failures++;
  }
  if (!line.StallsFile.empty() && !WriteFile(line.StallsFile, StallsText())) {
    std::fprintf(stderr, "tarnwick-sim: cannot write the stalls file %s\n", line.StallsFile.c_str());
    failures++;
  }
  if (!line.ScreenFile.empty() && !WriteFile(line.ScreenFile, sim::TheMachine().Screen.ScreenText())) {
    std::fprintf(stderr, "tarnwick-sim: cannot write the screen file %s\n", line.ScreenFile.c_str());
    failures++;
  }
  for (const std::string& detail : sim::TakeAudit().Details) {
    std::fprintf(stderr, "tarnwick-sim: left behind: %s\n", detail.c_str());
  }
  if (line.Stats) {
    std::fputs(sim::StatsText(sim::TheMachine().Trace, operations, sim::TheMachine().NowUs).c_str(), stderr);
  }
  std::fprintf(stderr, "%s\n", sim::SummaryLine().c_str());
  return failures != 0 ? 74 : sim::SimExitStatus();
}
