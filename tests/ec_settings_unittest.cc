// The simulated EC's settings: tarnwick-sim's options, the EC.CFG lines they
// print for tarnwick-simec.efi and the EC.CFG reader set up the same EC.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

#include "sim/command_line.h"
#include "sim/ec_settings.h"
#include "sim/ec_settings_help.h"
#include "tests/test_support.h"

namespace {

using testing_support::RunTool;
using testing_support::TempDir;
using testing_support::ToolRun;

sim::EcSetup Fresh() {
  sim::EcSetup setup;
  std::memset(&setup, 0, sizeof setup);  // so that memcmp sees no stray padding
  sim::EcSetupDefaults(&setup);
  return setup;
}

TEST(EcSettings, OptionsAndTheirEcCfgLinesSetUpTheSameEc) {
  const std::vector<std::string> args = {
      "--ec-size-reply", "0x85", "--ec-project", "A B#C", "--ec-no-project", "--ec-version", "07.00",
      "--ec-no-version", "--ec-ports", "2", "--ec-mode-reply", "0x5A", "--ec-no-mode-reply", "--ec-id", "1,2 3",
      "--ec-erase-reply", "", "--ec-ac", "01,00", "--ec-ibf-busy", "3", "--ec-ibf-busy-command", "2", "--ec-fault", "stuck-zero:0x40:1",
      "--ec-fault", "stale:0x92:AA,BB", "--no-ac", "--no-ec"};
  TempDir scratch;
  std::string shell;
  for (const std::string& arg : args) shell += " '" + arg + "'";
  ToolRun run = RunTool("tarnwick-sim" + shell + " --print-ec-cfg", scratch);
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::set<std::string> printed;
  std::istringstream lines(run.Out);
  for (std::string l; std::getline(lines, l);) printed.insert(l.substr(0, l.find(" =")));
  for (size_t i = 0; i < sim::kEcSettingCount; ++i) {  // a new setting belongs in the list above
    EXPECT_EQ(printed.count(sim::kEcSettings[i].Name), 1u) << sim::kEcSettings[i].Name << "\n" << run.Out;
  }

  sim::EcSetup read = Fresh();
  size_t badLine = 0;
  sim::EcWhy why;
  ASSERT_TRUE(sim::EcReadConfig(run.Out.data(), run.Out.size(), &read, &badLine, &why)) << badLine << ": " << why.Text;
  sim::SimCommandLine line;
  std::string error;
  ASSERT_TRUE(sim::ParseSimCommandLine(args, &line, &error)) << error;
  sim::EcSetupFlashSize(&read, sim::kEcDefaultFlashSize);
  sim::EcSetup parsed = Fresh();
  parsed.Ec = line.Config.Ec;
  EXPECT_EQ(std::memcmp(&read.Ec, &parsed.Ec, sizeof(sim::EcConfig)), 0);
  EXPECT_EQ(read.Ec.StaleLength, 2);
  EXPECT_EQ(read.Ec.EraseCompletionLength, 0);
  EXPECT_EQ(read.Ec.SizeReply, 0x85);
}

TEST(EcSettings, EcCfgLinesAreCheckedOneByOne) {
  struct Case {
    const char* Text;
    size_t BadLine;  // 0: all good
    const char* Why;
  } const cases[] = {
      {"# a comment\n\n  ec-ports=2  \r\nno-ac\nno-ec =\nec-erase-reply =\n", 0, ""},
      {"ec-ports = 4\n", 1, "needs a number 0..3"},
      {"# x\n\nno-such = 1\n", 3, "no such setting"},
      {"no-ac = 1\n", 1, "takes no value"},
      {"ec-project\n", 1, "needs a value"},
      {"ec-fault = never-programs:0x10\n", 1, "no such EC fault"},
      {"ec-fault = stuck-zero:0x40000:1\n", 1, "expected stuck-zero:ADDR:MASK"},
      {"ec-id = 1,2,3,4,5,6,7,8,9\n", 1, "needs at most 8 hex bytes"},
      {"ec-ac =\n", 1, "needs at least one reading"},
      {"ec-size-reply = 0x100\n", 1, "needs a number 0..0xFF"},
  };
  for (const Case& c : cases) {
    sim::EcSetup setup = Fresh();
    size_t badLine = 0;
    sim::EcWhy why;
    bool good = sim::EcReadConfig(c.Text, std::strlen(c.Text), &setup, &badLine, &why);
    EXPECT_EQ(good, c.BadLine == 0) << c.Text;
    if (good) continue;
    EXPECT_EQ(badLine, c.BadLine) << c.Text;
    EXPECT_NE(std::string(why.Text).find(c.Why), std::string::npos) << c.Text << ": " << why.Text;
  }
}

TEST(EcSettings, PrintEcCfgRefusesWhatALineCannotHold) {
  TempDir scratch;
  scratch.Write("short.bin", std::string(1000, '\xFF'));
  struct Case {
    std::string Args;
    int Status;
    const char* Message;
  } const cases[] = {
      {"--ec-project ' X'", 64, "cannot begin or end with a blank"},
      {"--ec-flash " + scratch.File("short.bin"), 74, "it must hold 64K, 128K, 192K or 256K"},
  };
  for (const Case& c : cases) {
    ToolRun run = RunTool("tarnwick-sim " + c.Args + " --print-ec-cfg", scratch);
    EXPECT_EQ(run.Status, c.Status) << c.Args;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "") << c.Args;
  }
}

TEST(EcSettings, QemuScriptsHelpListsEveryEcOptionAndFaultKind) {
  TempDir scratch;
  const std::string command = "bash " TARNWICK_SOURCE_DIR "/scripts/qemu.sh --no-build --build " +
                              testing_support::BuildDir() + " --help >" + scratch.File("help.txt") + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << scratch.Read("help.txt");
  const std::string help = scratch.Read("help.txt");
  for (size_t i = 0; i < sim::kEcSettingCount; ++i) {
    const sim::EcSettingRow& row = sim::kEcSettings[i];
    const std::string option = "\n  --" + std::string(row.Name) + (row.Form ? std::string(" ") + row.Form : "") + " ";
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  for (size_t i = 0; i < sim::kEcFaultCount; ++i) {
    const std::string form = sim::FaultForm(sim::kEcFaults[i].Name, sim::kEcFaults[i].Args);
    EXPECT_NE(help.find("\n    " + form + " "), std::string::npos) << form;
  }
}

}  // namespace
