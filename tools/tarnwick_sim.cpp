// tarnwick-sim: boots the simulated notebook and runs tarnwick on it, so the
// tool can be tried without hardware. `tarnwick-sim --help` lists the options.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/machine.h"
#include "sim/terminal_keys.h"
#include "sim/terminal_view.h"
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
    return 64;
  }
  if (line.Help) {
    std::fputs(sim::SimHelpText().c_str(), stdout);
    return 0;
  }

  bool ansi = line.Ansi || (!line.Plain && isatty(STDOUT_FILENO));
  sim::Boot(line.Config);
  sim::TerminalView view(stdout, ansi);
  view.Attach();
  if (line.Interactive && ansi && isatty(STDIN_FILENO)) {
    sim::SetKeySource([](InputKey* key) { return sim::ReadTerminalKey(key); });
  }
  sim::RunTarnwick();
  view.Finish();

  int failures = 0;
  if (!line.FlashFile.empty()) {
    std::vector<uint8_t> flash = sim::FlashContents();
    if (!WriteFile(line.FlashFile, std::string(flash.begin(), flash.end()))) {
      std::fprintf(stderr, "tarnwick-sim: cannot write the flash file %s\n", line.FlashFile.c_str());
      failures++;
    }
  }
  if (!line.TraceFile.empty() && !WriteFile(line.TraceFile, TraceText())) {
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
  std::fprintf(stderr, "%s\n", sim::SummaryLine().c_str());
  return failures != 0 ? 74 : sim::SimExitStatus();
}
