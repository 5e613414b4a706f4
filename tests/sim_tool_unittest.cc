// tarnwick-sim as a program and its command line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <regex>

#include "sim/command_line.h"
#include "sim/ec_settings_help.h"
#include "sim/fault_table.h"
#include "sim/machine.h"
#include "sim/option_table.h"
#include "sim/sample_image.h"
#include "sim/terminal_view.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempDir;

using testing_support::RunTool;
using testing_support::ToolRun;

std::string LastLine(const std::string& text) {
  std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
  return trimmed.substr(trimmed.rfind('\n') + 1);
}

TEST(SimTool, HelpListsEveryOption) {
  TempDir scratch;
  ToolRun run = RunTool("tarnwick-sim --help", scratch);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(RunTool("tarnwick-sim -h", scratch).Out, run.Out);
  for (const char* option :
       {"--volume DIR", "--cwd PATH", "--no-cwd", "--ec-flash FILE", "--ec-size-reply N", "--ec-project TEXT",
        "--ec-version TEXT", "--ec-ports N", "--ec-mode-reply N", "--ec-no-mode-reply", "--no-ac", "--no-ec",
        "--keys TEXT", "--time YYYY-MM-DDTHH:MM:SS", "--console COLSxROWS", "--trace FILE", "--plain", "--screen FILE",
        "--realtime", "--power-off stay|halt", "--ec-fault FAULT", "--fault FAULT"}) {
    EXPECT_NE(run.Out.find(option), std::string::npos) << option;
  }
  // Every row of the tables, on a line of its own.
  for (const sim::SimOption& option : sim::SimOptions()) {
    std::string entry = "\n  " + std::string(option.Name) + (option.Arg ? std::string(" ") + option.Arg : "") + " ";
    EXPECT_NE(run.Out.find(entry), std::string::npos) << option.Name;
  }
  std::vector<std::string> faults;
  for (size_t i = 0; i < sim::kEcFaultCount; ++i) faults.push_back(sim::FaultForm(sim::kEcFaults[i].Name, sim::kEcFaults[i].Args));
  for (const sim::FirmwareFaultKind& kind : sim::FirmwareFaultKinds()) faults.push_back(sim::FaultForm(kind.Name, kind.Arg));
  for (const std::string& fault : faults) EXPECT_NE(run.Out.find("\n    " + fault + " "), std::string::npos) << fault;
}

TEST(SimTool, AFailedLoadEndsWithTheSummaryAndExitStatus3) {
  TempDir disk, scratch;
  ToolRun run = RunTool("tarnwick-sim --volume " + disk.Path() + " --plain -- EC.BIN /k", scratch);
  EXPECT_EQ(run.Status, 3);  // EFI_UNSUPPORTED's low bits
  EXPECT_TRUE(std::regex_match(LastLine(run.Err),
                               std::regex("tarnwick-sim: status=EFI_UNSUPPORTED code=4 events=watchdog-disarmed")))
      << run.Err;
  EXPECT_NE(run.Out.find("EC Project: TESTPRJ"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find("\x1b["), std::string::npos);  // plain: no escapes
}

TEST(SimTool, TraceAndScreenFiles) {
  TempDir scratch;
  ToolRun run = RunTool("tarnwick-sim --console 80x25 --trace " + scratch.File("trace.txt") + " --screen " +
                        scratch.File("screen.txt") + " --plain",
                    scratch);
  EXPECT_EQ(run.Status, 3);
  std::string trace = scratch.Read("trace.txt");
  ASSERT_FALSE(trace.empty());
  EXPECT_TRUE(std::regex_search(trace, std::regex("^W 66 81\n", std::regex::multiline))) << trace.substr(0, 200);
  EXPECT_TRUE(std::regex_match(trace, std::regex("([RW] [0-9A-F]{2} [0-9A-F]{2}\n)+")));
  std::string screen = scratch.Read("screen.txt");
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 25);
  EXPECT_NE(screen.find("Please kindly to check your parameter."), std::string::npos) << screen;
}

TEST(SimTool, AFlashFileIsProgrammedAndWrittenBackAndHaltSaysPoweredOff) {
  TempDir disk, scratch;
  std::vector<uint8_t> image = sim::MakeSampleImage(3 * 65536, "TESTPRJ", "1.02.03", "2026/12/01", 3);
  disk.Write("EC.BIN", image);
  scratch.Write("flash.bin", std::string(3 * 65536, '\0'));
  ToolRun run = RunTool("tarnwick-sim --volume " + disk.Path() + " --ec-flash " + scratch.File("flash.bin") +
                        " --power-off halt --plain -- EC.BIN /k",
                    scratch);
  EXPECT_EQ(run.Status, 0);
  EXPECT_TRUE(std::regex_match(LastLine(run.Err), std::regex("tarnwick-sim: status=powered-off code=- events=watchdog-disarmed,flash-mode-entered,"
                                          "flash-mode-left,.*power-off")))
      << run.Err;
  EXPECT_TRUE(scratch.Read("flash.bin") == std::string(image.begin(), image.end()));
}

TEST(SimTool, OnATerminalTheConsoleIsDrawnWithColoursAndCursorMoves) {
  TempDir scratch;
  ToolRun run = RunTool("tarnwick-sim --ansi --console 80x25", scratch);
  EXPECT_EQ(run.Status, 3);
  EXPECT_NE(run.Out.find("\x1b[2J"), std::string::npos);
  EXPECT_NE(run.Out.find("\x1b[1;1H"), std::string::npos);
  EXPECT_NE(run.Out.find(sim::TerminalView::AttributeSequence(0x0F)), std::string::npos);
  EXPECT_NE(run.Out.find("Please kindly to check your parameter."), std::string::npos);
}

TEST(SimTool, FirmwareColoursMapToAnsiColours) {
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x0F), "\x1b[0;97;40m");  // white on black
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x4F), "\x1b[0;97;41m");  // white on red
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x3F), "\x1b[0;97;46m");  // white on cyan
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x5F), "\x1b[0;97;45m");  // white on magenta
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x6F), "\x1b[0;97;43m");  // white on brown
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x0E), "\x1b[0;93;40m");  // yellow
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x04), "\x1b[0;31;40m");  // red
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x02), "\x1b[0;32;40m");  // green
  EXPECT_EQ(sim::TerminalView::AttributeSequence(0x06), "\x1b[0;33;40m");  // brown
}

TEST(SimTool, ImageMakeWritesTheSampleImage) {
  TempDir scratch;
  ToolRun run = RunTool("tarnwick-image make " + scratch.File("img.bin") +
                        " --size 64K --project ABC --version 1.00 --date 2026/01/02 --seed 4",
                    scratch);
  EXPECT_EQ(run.Status, 0) << run.Err;
  std::vector<uint8_t> expected = sim::MakeSampleImage(65536, "ABC", "1.00", "2026/01/02", 4);
  EXPECT_TRUE(scratch.Read("img.bin") == std::string(expected.begin(), expected.end()));
}

TEST(SimTool, ABadOptionIsAUsageError) {
  TempDir scratch;
  ToolRun run = RunTool("tarnwick-sim --no-such-option", scratch);
  EXPECT_EQ(run.Status, 64);
  EXPECT_NE(run.Err.find("unknown option --no-such-option"), std::string::npos);
}

sim::SimCommandLine Parse(const std::vector<std::string>& args) {
  sim::SimCommandLine line;
  std::string error;
  EXPECT_TRUE(sim::ParseSimCommandLine(args, &line, &error)) << error;
  return line;
}

TEST(SimCommandLine, DefaultsAreA192KFlashWithAnOlderImageOfTheProject) {
  sim::SimCommandLine line = Parse({"--ec-project", "ZX9", "--", "EC.BIN", "/k"});
  const sim::MachineConfig& c = line.Config;
  EXPECT_EQ(c.Flash.size(), 3u * 65536);
  EXPECT_EQ(c.Ec.FlashSize, 3u * 65536);
  EXPECT_EQ(c.Ec.SizeReply, 0x40);
  std::string flash(c.Flash.begin(), c.Flash.end());
  EXPECT_EQ(flash.compare(sim::kSampleProjectOffset, 8, "PRJ:ZX9$"), 0);
  EXPECT_EQ(std::string(c.Ec.Project, c.Ec.Project + c.Ec.ProjectLength), "ZX9$");
  EXPECT_EQ(c.Args, (std::vector<std::u16string>{u"EC.BIN", u"/k"}));
  EXPECT_EQ(c.CurrentDirectory.value(), u"FS0:\\");
  EXPECT_EQ(c.Columns, 100u);
  EXPECT_EQ(c.Rows, 31u);
  EXPECT_FALSE(c.TraceEnabled);
}

TEST(SimCommandLine, SizeReplyFollowsTheFlashFile) {
  struct Case {
    size_t Size;
    uint8_t Reply;
  } const cases[] = {{65536, 0x20}, {2 * 65536, 0x20}, {3 * 65536, 0x40}, {4 * 65536, 0x80}};
  TempDir scratch;
  for (const Case& c : cases) {
    scratch.Write("f.bin", std::string(c.Size, '\xFF'));
    sim::SimCommandLine line = Parse({"--ec-flash", scratch.File("f.bin")});
    EXPECT_EQ(line.Config.Ec.SizeReply, c.Reply) << c.Size;
    EXPECT_EQ(line.Config.Ec.FlashSize, c.Size);
  }
  scratch.Write("odd.bin", std::string(1000, '\xFF'));
  sim::SimCommandLine line;
  std::string error;
  EXPECT_FALSE(sim::ParseSimCommandLine({"--ec-flash", scratch.File("odd.bin")}, &line, &error));
}

TEST(SimCommandLine, MachineOptions) {
  sim::SimCommandLine line =
      Parse({"--keys", "y\\r\\e\\U", "--time", "2026-02-03T04:05:06", "--console", "80x25", "--no-cwd", "--ec-ports",
             "2", "--ec-no-mode-reply", "--no-ac", "--power-off", "halt", "--ec-size-reply", "0x85", "--shell",
             "interface", "--ec-fault", "never-program:0x1234", "--fault", "open:\\EC\\A.BIN:EFI_DEVICE_ERROR",
             "--fault", "file-size:0x100000000", "--fault", "power-cut:100", "--fault", "no-shell-environment",
             "--outer-shell-cwd", "FS1:\\IMG", "tarnwick-arg"});
  const sim::MachineConfig& c = line.Config;
  ASSERT_EQ(c.Keys.size(), 4u);
  EXPECT_EQ(c.Keys[0].UnicodeChar, u'y');
  EXPECT_EQ(c.Keys[1].UnicodeChar, u'\r');
  EXPECT_EQ(c.Keys[2].ScanCode, 0x17);
  EXPECT_EQ(c.Keys[3].ScanCode, 0x01);
  EXPECT_EQ(c.Keys[3].UnicodeChar, 0);
  EXPECT_EQ(c.Time.Year, 2026);
  EXPECT_EQ(c.Time.Second, 6);
  EXPECT_EQ(c.Columns, 80u);
  EXPECT_FALSE(c.CurrentDirectory.has_value());
  EXPECT_EQ(c.Ec.CommandPortSet, 2);
  EXPECT_FALSE(c.Ec.HasModeReply);
  EXPECT_EQ(c.Ec.AcReadings[0] & 1, 0);
  EXPECT_EQ(c.PowerOff, sim::PowerOffMode::Halt);
  EXPECT_EQ(c.Ec.SizeReply, 0x85);
  EXPECT_EQ(c.Shell, sim::ShellKind::InterfaceOnly);
  ASSERT_EQ(c.Ec.FlashFaultCount, 1);
  EXPECT_EQ(c.Ec.FlashFaults[0].Address, 0x1234u);
  EXPECT_TRUE(c.Ec.FlashFaults[0].NeverPrograms);
  EXPECT_EQ(c.Fault.OpenFails.at(u"\\EC\\A.BIN"), kEfiDeviceError);
  EXPECT_EQ(*c.Fault.GetInfoFileSize, 0x100000000ull);
  EXPECT_EQ(c.Fault.PowerCutAfterPortOps, 100);
  EXPECT_TRUE(c.Fault.NoShellEnvironment);
  EXPECT_EQ(c.OuterShellDirectory, u"FS1:\\IMG");
  EXPECT_EQ(c.Args, (std::vector<std::u16string>{u"tarnwick-arg"}));
}

TEST(SimCommandLine, MistakesAreRefused) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--ec-ports", "4"}, {"--keys", "\\q"}, {"--time", "2026-13-01T00:00:00"}, {"--console", "80"},
           {"--power-off", "later"}, {"--ec-fault", "never-program"}, {"--fault", "bogus"}, {"--volume"}}) {
    sim::SimCommandLine line;
    std::string error;
    EXPECT_FALSE(sim::ParseSimCommandLine(args, &line, &error)) << args[0];
    EXPECT_EQ(error.find(args[0] + (args.size() > 1 ? " " + args[1] + ":" : " needs a value")), 0u) << error;
  }
}

// Each fault kind takes exactly its argument form, in range.
TEST(SimCommandLine, FaultValues) {
  struct Case {
    const char* Option;
    const char* Value;
    bool Ok;
  } const cases[] = {
      {"--ec-fault", "ibf-stuck", true},           {"--ec-fault", "ibf-stuck:1", false},
      {"--ec-fault", "ibf-stuck-after:0", false},  {"--ec-fault", "stale:0x92:AA,BB", true},
      {"--ec-fault", "stale:0x92", false},         {"--ec-fault", "stale:256:AA", false},
      {"--ec-fault", "stuck-zero:0x3FFFF:1", true}, {"--ec-fault", "stuck-zero:0x40000:1", false},
      {"--ec-fault", "erase-leaves:7:127", true},  {"--ec-fault", "erase-leaves:7:128", false},
      {"--ec-fault", "bogus", false},              {"--fault", "no-fs", true},
      {"--fault", "no-fs:1", false},               {"--fault", "open-volume:2147483647", true},
      {"--fault", "open-volume:2147483648", false}, {"--fault", "open:FS0:\\A:EFI_ACCESS_DENIED", true},
      {"--fault", "readkey", false},               {"--fault", "power-cut:9223372036854775808", false},
      {"--fault", "no-shell-environment", true},   {"--fault", "bogus", false},
  };
  for (const Case& c : cases) {
    sim::SimCommandLine line;
    std::string error;
    EXPECT_EQ(sim::ParseSimCommandLine({c.Option, c.Value}, &line, &error), c.Ok) << c.Value;
    if (!c.Ok) EXPECT_EQ(error.find(std::string(c.Option) + " " + c.Value + ": "), 0u) << error;
  }
  std::vector<std::string> seventeen;
  for (int i = 0; i < 17; ++i) seventeen.insert(seventeen.end(), {"--ec-fault", "reads-wrong:" + std::to_string(i)});
  sim::SimCommandLine line;
  std::string error;
  EXPECT_FALSE(sim::ParseSimCommandLine(seventeen, &line, &error));  // 16 flash byte faults at most
}

TEST(SimCommandLine, StatusNames) {
  EXPECT_EQ(sim::EfiStatusName(kEfiSuccess), "EFI_SUCCESS");
  EXPECT_EQ(sim::EfiStatusName(kEfiUnsupported), "EFI_UNSUPPORTED");
  EXPECT_EQ(sim::EfiStatusName(kEfiNotFound), "EFI_NOT_FOUND");
  EXPECT_EQ(sim::EfiStatusName(kEfiAborted), "EFI_ABORTED");
}

}  // namespace
