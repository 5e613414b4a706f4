// tarnwick-sim on terminals and with what users get wrong: checks before a
// run, small terminals, interrupts, --log, --stats and the annotated trace.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <regex>
#include <sstream>

#include "sim/command_line.h"
#include "sim/sample_image.h"
#include "sim/trace_operations.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempDir;

using testing_support::ToolRun;

// tarnwick-sim with arguments (shell syntax); redirect: how stdout and stderr go.
ToolRun RunSim(const std::string& arguments, const TempDir& scratch, const std::string& redirect = " >OUT 2>ERR") {
  return testing_support::RunTool("tarnwick-sim " + arguments, scratch, redirect);
}

// A volume with EC.BIN and a flash file holding the older image it replaces.
struct FlashSetup {
  TempDir Disk, Scratch;
  std::string OldFlash;
  FlashSetup() {
    Disk.Write("EC.BIN", sim::MakeSampleImage(3 * 65536, "TESTPRJ", "1.19.02.03", "2026/12/01", 3));
    std::vector<uint8_t> old = sim::MakeSampleImage(3 * 65536, "TESTPRJ", "1.19.01.11", "2026/06/01", 4);
    OldFlash.assign(old.begin(), old.end());
    Scratch.Write("flash.bin", OldFlash);
  }
  std::string Args(const std::string& more = "") const {
    return "--volume " + Disk.Path() + " --ec-flash " + Scratch.File("flash.bin") +
           " --time 2026-12-08T10:00:00 " + more;
  }
};

TEST(SimChecks, RefusedBeforeAnythingRunsAndNothingIsTouched) {
  FlashSetup s;
  s.Scratch.Write("short.bin", std::string(1000, '\xFF'));
  s.Scratch.MakeDir("folder");
  struct Case {
    std::string Args;
    int Exit;
    std::string Message;
  } const cases[] = {
      {"--volume " + s.Scratch.File("none"), 74, "the volume " + s.Scratch.File("none") + " cannot be used: No such file"},
      {"--volume " + s.Scratch.File("short.bin"), 74, "cannot be used: Not a directory"},
      {"--cwd 'FS0:/EC'", 64, "--cwd FS0:/EC: not of the form FSn: or FSn:\\path"},
      {"--cwd EC", 64, "not of the form"},
      {"--cwd 'FS1:\\EC'", 64, "--cwd FS1:\\EC: there is no such volume (the one --volume is FS0:)"},
      {"--trace " + s.Scratch.File("none/t.txt"), 74, "the trace file " + s.Scratch.File("none/t.txt") +
                                                         " cannot be written: No such file or directory"},
      {"--screen " + s.Scratch.File("folder"), 74, "the screen file " + s.Scratch.File("folder") +
                                                      " cannot be written: Is a directory"},
      {"--log " + s.Scratch.File("short.bin/x"), 74, "the log file " + s.Scratch.File("short.bin/x") +
                                                        " cannot be written: Not a directory"},
      {"--ec-flash " + s.Scratch.File("short.bin"), 74, "holds 1000 bytes; it must hold 64K, 128K, 192K or 256K"},
      {"--ec-flash " + s.Scratch.File("none.bin"), 74, "cannot read the flash file " + s.Scratch.File("none.bin") +
                                                          ": No such file or directory"},
  };
  for (const Case& c : cases) {
    ToolRun run = RunSim(s.Args("--plain --trace " + s.Scratch.File("trace.txt") + " " + c.Args + " -- EC.BIN /p"),
                         s.Scratch);
    EXPECT_EQ(run.Status, c.Exit) << c.Args;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << c.Args << "\n" << run.Err;
    EXPECT_EQ(run.Out, "") << c.Args;  // nothing ran
    EXPECT_FALSE(s.Scratch.Exists("trace.txt")) << c.Args;
    EXPECT_TRUE(s.Scratch.Read("flash.bin") == s.OldFlash) << c.Args;
    EXPECT_EQ(s.Scratch.Read("short.bin"), std::string(1000, '\xFF')) << c.Args;
  }
}

TEST(SimTool, TheNextRunShowsTheVersionTheEcWasFlashedWith) {
  FlashSetup s;
  ToolRun first = RunSim(s.Args("--plain -- EC.BIN /p"), s.Scratch);
  ToolRun second = RunSim(s.Args("--plain -- EC.BIN /p"), s.Scratch);
  EXPECT_NE(first.Out.find("M/B  EC Version: 1.19.01.11\nFile EC Project: TESTPRJ\nFile EC Version: 1.19.02.03\n"),
            std::string::npos) << first.Out;
  EXPECT_NE(second.Out.find("M/B  EC Version: 1.19.02.03\n"), std::string::npos) << second.Out;
}

// What a terminal of columns x rows holds after out (cursor moves, line ends
// and text; colours ignored): the rows that scrolled off its top, in order,
// and its screen; a row "OUTSIDE" when something is drawn off the screen.
struct Terminal {
  std::vector<std::string> Scrollback, Screen;
  std::string All() const {
    std::string all;
    for (const auto* rows : {&Scrollback, &Screen})
      for (const std::string& row : *rows) all += row.substr(0, row.find_last_not_of(' ') + 1) + "\n";
    return all;
  }
};

Terminal Replay(const std::string& out, size_t columns, size_t rows) {
  Terminal t;
  t.Screen.assign(rows, std::string(columns, ' '));
  unsigned row = 0, column = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c == 0x1B && out.compare(i + 1, 1, "[") == 0) {
      size_t end = out.find_first_of("HhlmJ", i + 2);
      if (end != std::string::npos && out[end] == 'H' && std::sscanf(&out[i + 2], "%u;%u", &row, &column) == 2) {
        --row, --column;
      }
      i = end == std::string::npos ? out.size() : end;
    } else if (c == '\n' && row + 1 == rows) {
      t.Scrollback.push_back(t.Screen.front());
      t.Screen.erase(t.Screen.begin());
      t.Screen.push_back(std::string(columns, ' '));
    } else if (c == '\n') {
      ++row;
    } else if (c >= 0x20 && (c < 0x80 || c >= 0xC0)) {  // UTF-8 continuation bytes draw nothing
      if (row >= rows || column >= columns) t.Screen.push_back("OUTSIDE");
      if (row < rows && column < columns) t.Screen[row][column++] = c < 0x80 ? static_cast<char>(c) : '?';
    }
  }
  return t;
}

TEST(SimTerminal, ASmallTerminalKeepsTheVerdictCountdownAndEndTime) {
  struct Case {
    size_t Columns, Rows;
  } const cases[] = {{80, 24}, {60, 15}};
  for (const Case& c : cases) {
    FlashSetup s;
    std::string size = std::to_string(c.Columns) + "x" + std::to_string(c.Rows);
    ToolRun run = RunSim(s.Args("--ansi --term-size " + size + " -- EC.BIN"), s.Scratch);
    EXPECT_EQ(run.Status, 0) << run.Err;
    Terminal t = Replay(run.Out, c.Columns, c.Rows);
    std::string all;
    for (const std::string& row : t.Screen) all += row + "\n";
    for (const char* kept : {"Verfied success", "Down count to shutdown", "End time 10:00:0"}) {
      EXPECT_NE(all.find(kept), std::string::npos) << size << ": " << kept << "\n" << all;
    }
    ASSERT_EQ(t.Screen.size(), c.Rows) << all;  // nothing off the terminal
    EXPECT_EQ(t.Screen.back(), std::string(c.Columns, ' ')) << size;  // free for the summary
  }
}

// On any terminal size every line of the final console is kept, in order
// (scrollback, then screen), and a short run's message stays on the screen.
TEST(SimTerminal, EveryLineIsKeptAndAShortRunsMessageStaysOnScreen) {
  struct Case {
    std::string Args;
    size_t Columns, Rows;
    const char* OnScreen;
  } const cases[] = {
      {"--cwd 'FS0:\\' -- NOPE.BIN", 80, 24, "Can not open the input file:\\NOPE.BIN"},
      {"--no-ac -- EC.BIN /p", 80, 24, "Not found the AC adapter"},
      {"--no-ac -- EC.BIN /p", 120, 30, "Not found the AC adapter"},
      {"-- EC.BIN /p", 80, 24, "Verfied success"},
      {"-- EC.BIN /p", 40, 10, "End time 10:00:0"},
      {"-- EC.BIN /p", 100, 40, "M/B  EC Project: TESTPRJ"},
  };
  for (const Case& c : cases) {
    FlashSetup s;
    std::string size = std::to_string(c.Columns) + "x" + std::to_string(c.Rows);
    ToolRun run = RunSim(s.Args("--ansi --term-size " + size + " --screen " + s.Scratch.File("screen.txt") + " " + c.Args),
                         s.Scratch);
    Terminal t = Replay(run.Out + run.Err + "$ ", c.Columns, c.Rows);  // the summary and the shell's prompt follow
    std::string all = t.All(), screen;
    for (const std::string& row : t.Screen) screen += row + "\n";
    EXPECT_NE(screen.find(c.OnScreen), std::string::npos) << size << " " << c.Args << "\n" << screen;
    std::istringstream console(s.Scratch.Read("screen.txt"));
    size_t at = 0;
    for (std::string line; std::getline(console, line);) {
      if (line.empty()) continue;
      line = line.substr(0, c.Columns);
      line = line.substr(0, line.find_last_not_of(' ') + 1);
      size_t found = all.find(line + "\n", at);
      EXPECT_NE(found, std::string::npos) << size << " " << c.Args << ": " << line << "\n" << all;
      if (found == std::string::npos) break;
      at = found + line.size() + 1;
    }
  }
}

TEST(SimTerminal, LogHoldsThePlainTextAndTheSummaryHasALineOfItsOwn) {
  FlashSetup s;
  ToolRun plain = RunSim(s.Args("--plain -- EC.BIN /p"), s.Scratch);
  s.Scratch.Write("flash.bin", s.OldFlash);
  ToolRun ansi = RunSim(s.Args("--ansi --log " + s.Scratch.File("log.txt") + " -- EC.BIN /p"), s.Scratch);
  EXPECT_EQ(ansi.Status, 0);
  EXPECT_NE(plain.Out.find("Verfied success"), std::string::npos);
  EXPECT_EQ(s.Scratch.Read("log.txt"), plain.Out);
  EXPECT_NE(ansi.Out, plain.Out);
  // A run that ends at a question (no key left), stdout and stderr in one file.
  ToolRun asked = RunSim(s.Args("--plain --ec-project OTHER -- EC.BIN /p"), s.Scratch);
  ASSERT_EQ(asked.Status, 125);
  ASSERT_NE(asked.Out.back(), '\n');
  ToolRun both = RunSim(s.Args("--plain --ec-project OTHER -- EC.BIN /p"), s.Scratch, " >OUT 2>&1");
  EXPECT_EQ(both.Out, asked.Out + "\n" + asked.Err);
}

// With stdin a terminal (given by script) and stdout a file, as in
// "tarnwick-sim ... | tee log", the question is answered from the keyboard;
// --no-interactive leaves it unanswered.
TEST(SimTerminal, KeysComeFromTheTerminalWhileStdoutGoesElsewhere) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  struct Case {
    const char* Args;
    int Exit;
    const char* Summary;
  } const cases[] = {{"--plain", 3, "status=EFI_UNSUPPORTED code=6"}, {"--plain --no-interactive", 125, "status=no-keys-left"}};
  for (const Case& c : cases) {
    FlashSetup s;
    std::string run = testing_support::BuildDir() + "/tarnwick-sim " + s.Args(std::string(c.Args) + " --ec-project OTHER -- EC.BIN /p") +
                      " >" + s.Scratch.File("out.txt") + " 2>" + s.Scratch.File("err.txt");
    int raw = std::system(("printf n | script -qec '" + run + "' /dev/null >/dev/null").c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.Exit) << c.Args;
    EXPECT_NE(s.Scratch.Read("err.txt").find(c.Summary), std::string::npos) << c.Args << s.Scratch.Read("err.txt");
  }
}

// The annotated trace without its marks and with its runs spelled out.
std::string Expand(const std::string& annotated, std::vector<std::string>* marks) {
  std::istringstream lines(annotated);
  std::string line, raw;
  while (std::getline(lines, line)) {
    if (line.compare(0, 3, "== ") == 0) {
      marks->push_back(line.substr(3, line.find(" (") - 3));
      continue;
    }
    size_t times = line.find(" \xC3\x97");
    size_t count = times == std::string::npos ? 1 : std::stoul(line.substr(times + 3));
    for (size_t k = 0; k < count; ++k) raw += line.substr(0, times) + "\n";
  }
  return raw;
}

TEST(SimTrace, AnnotatedTraceAndStatsAccountForEveryAccess) {
  FlashSetup s;
  ToolRun stats = RunSim(s.Args("--plain --stats --trace " + s.Scratch.File("raw.txt") + " -- EC.BIN"), s.Scratch);
  s.Scratch.Write("flash.bin", s.OldFlash);
  ToolRun annotated = RunSim(
      s.Args("--plain --trace-format annotated --trace " + s.Scratch.File("ann.txt") + " -- EC.BIN"), s.Scratch);
  std::string raw = s.Scratch.Read("raw.txt"), ann = s.Scratch.Read("ann.txt");
  std::vector<std::string> marks;
  EXPECT_EQ(Expand(ann, &marks), raw);
  EXPECT_LT(std::count(ann.begin(), ann.end(), '\n') * 4, std::count(raw.begin(), raw.end(), '\n') * 3);
  EXPECT_NE(ann.find("R 66 00 \xC3\x97" "100001\n"), std::string::npos);
  std::string order;
  for (const std::string& mark : marks) order += (order.empty() ? "" : ",") + mark;
  EXPECT_TRUE(std::regex_search(order, std::regex("project query,version query,enter flash mode,mode query,ID,erase,"
                                                  "block read,block read,block read,program,program,program,"
                                                  "block read,block read,block read,leave flash mode,power off")))
      << order;

  // The operations' rows add up to the trace's length; the time adds the stalls.
  std::smatch m;
  uint64_t accesses = static_cast<uint64_t>(std::count(raw.begin(), raw.end(), '\n'));
  ASSERT_TRUE(std::regex_search(stats.Err, m, std::regex("\n +total +\\d+ +(\\d+) +(\\d+)\n"))) << stats.Err;
  EXPECT_EQ(std::stoull(m[1]), accesses);
  uint64_t us = accesses + std::stoull(m[2]);
  EXPECT_NE(stats.Err.find("per port access plus the stalls: " + std::to_string(us / 1000000) + "." +
                           std::to_string(1000000 + us % 1000000).substr(1) + " s"),
            std::string::npos)
      << stats.Err;
}

TEST(SimTrace, OperationsFollowTheCommandPortAndTheFixedPorts) {
  // Flash mode entered on port set 3, a program command whose data hold 0x97
  // (no auto power-on), then EC RAM and the auto power-on on 0x66/0x62.
  const uint16_t ports[] = {0x6E, 0x6E, 0x66, 0x66, 0x66, 0x66, 0x66, 0x62, 0x62, 0x66, 0x66, 0x62, 0x62, 0x62, 0x62, 0x62};
  const uint8_t values[] = {0xDE, 0xDC, 0x02, 0x00, 0x01, 0x00, 0x00, 0x97, 0x11, 0xFE, 0x81, 0xF9, 0x97, 0x97, 0x00, 0x05};
  std::vector<sim::PortAccess> trace{{false, 0x64, 0x00, 0}};
  for (size_t i = 0; i < sizeof(values); ++i) trace.push_back(sim::PortAccess{true, ports[i], values[i], 0});
  std::vector<sim::TraceOperation> ops = sim::SplitIntoOperations(trace);
  std::string names;
  for (const auto& op : ops) names += op.Name + ",";
  ASSERT_EQ(names, "before any command,enter flash mode,program,leave flash mode,EC RAM write,auto power-on,");
  EXPECT_EQ(ops[2].Bytes, (std::vector<uint8_t>{0x02, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(ops[2].End - ops[2].First, 7u);
  EXPECT_EQ(ops[4].Bytes, (std::vector<uint8_t>{0x81, 0xF9, 0x97}));
  EXPECT_EQ(ops[5].End, trace.size());
}

TEST(SimTerminal, AnInterruptRestoresTheTerminalAndLeavesTheFlashFile) {
  struct Case {
    const char* View;
    const char* Signal;
    int Exit;
    const char* Ending;  // what stdout ends with
    const char* Said;
  } const cases[] = {{"--ansi", "INT", 130, "\x18\x1b[0m\x1b[?25h\x1b[32;1H", "interrupted (SIGINT)"},
                     {"--plain", "TERM", 143, ".....\n", "interrupted (SIGTERM)"}};
  for (const Case& c : cases) {
    FlashSetup s;
    // In the background; the signal comes in the countdown, which waits for
    // real: the flash is programmed, the run not over.
    std::string run = testing_support::BuildDir() + "/tarnwick-sim " + s.Args("--realtime --trace " + s.Scratch.File("trace.txt") + " ") +
                      c.View + " -- EC.BIN >" + s.Scratch.File("out.txt") + " 2>" + s.Scratch.File("err.txt") + " </dev/null";
    std::string script = run + " & p=$!; for i in $(seq 600); do grep -q \"Down count\" " + s.Scratch.File("out.txt") +
                         " && break; sleep 0.05; done; kill -" + c.Signal + " $p; wait $p";
    int raw = std::system(("bash -c '" + script + "'").c_str());
    int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    EXPECT_EQ(status, c.Exit) << c.View;
    std::string out = s.Scratch.Read("out.txt");
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), std::strlen(c.Ending))), c.Ending) << c.View;
    EXPECT_NE(s.Scratch.Read("err.txt").find(c.Said), std::string::npos) << c.View;
    EXPECT_TRUE(s.Scratch.Read("flash.bin") == s.OldFlash) << c.View;
    EXPECT_FALSE(s.Scratch.Exists("trace.txt")) << c.View;
  }
}

}  // namespace
