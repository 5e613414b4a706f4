// What a run takes from the shell it was started from: the current directory
// under each kind of shell, and the firmware's watchdog disarmed before the
// EC is touched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "platform/shell_choice.h"
#include "sim/machine.h"
#include "tests/test_support.h"

namespace {

using testing_support::OneBlockImage;
using testing_support::OneBlockOldFlash;
using testing_support::TempDir;

struct Shell {
  const char* Name;
  sim::ShellKind Kind;
  bool NoEnvironment;      // an older shell without its environment protocol
  const char16_t* Outer;   // the newer shell that started the older one, its directory
};

constexpr Shell kShells[] = {
    {"parameters", sim::ShellKind::Parameters, false, nullptr},
    {"interface", sim::ShellKind::InterfaceOnly, false, nullptr},
    {"interface, no environment", sim::ShellKind::InterfaceOnly, true, nullptr},
    {"none", sim::ShellKind::None, false, nullptr},
    {"interface started from the newer shell at the root", sim::ShellKind::InterfaceOnly, false, u"FS0:"},
};

EfiStatus RunUnder(const Shell& shell, const TempDir& volume, std::vector<std::u16string> args) {
  sim::MachineConfig config;
  config.Ec.FlashSize = 65536;
  config.Ec.SizeReply = 0;  // one block
  config.Flash = OneBlockOldFlash();
  config.Volumes = {volume.Path()};
  config.CurrentDirectory = u"FS0:\\EC";
  config.Args = std::move(args);
  config.Shell = shell.Kind;
  config.Fault.NoShellEnvironment = shell.NoEnvironment;
  if (shell.Outer != nullptr) config.OuterShellDirectory = shell.Outer;
  sim::Boot(config);
  return sim::RunTarnwick();
}

TEST(ShellStart, TheCurrentDirectoryUnderEachShell) {
  struct Expect {
    int UpdateExit;       // the image lies only in \EC
    const char* DumpAt;   // where the dump lands ("": nowhere)
    bool Scripts;         // the burn-in scripts go to \EC
  } const expected[] = {
      {kExitOk, "EC/ECRom12071030.bin", true},
      {kExitOk, "EC/ECRom12071030.bin", true},
      {kExitLoadFailed, "ECRom12071030.bin", false},
      {-1, "", false},
      {kExitOk, "EC/ECRom12071030.bin", true},
  };
  for (size_t i = 0; i < std::size(kShells); i++) {
    const Shell& shell = kShells[i];
    TempDir volume;
    volume.Write("EC/A.BIN", OneBlockImage());
    volume.MakeDir("EFI/BOOT");

    RunUnder(shell, volume, {u"A.BIN", u"/p", u"/y", u"/k"});
    EXPECT_EQ(sim::TheMachine().ExitCode, expected[i].UpdateExit) << shell.Name;
    if (expected[i].UpdateExit == kExitOk) EXPECT_EQ(sim::FlashContents(), OneBlockImage()) << shell.Name;

    RunUnder(shell, volume, {u"A.BIN", u"/r"});
    for (const char* at : {"EC/ECRom12071030.bin", "ECRom12071030.bin"})
      EXPECT_EQ(volume.Exists(at), std::string(at) == expected[i].DumpAt) << shell.Name << " " << at;

    RunUnder(shell, volume, {u"A.BIN", u"/bi", u"B.BIN"});
    const char* script = "EFI/BOOT/ecBurnIn2nd.NSH";
    const std::string text = volume.Exists(script) ? volume.Read(script) : "";
    EXPECT_EQ(text.find("StartUp.NSH\ncd \\EC\n") != std::string::npos, expected[i].Scripts) << text;
    EXPECT_TRUE(sim::TakeAudit().Clean()) << shell.Name;
  }
}

// A newer shell that starts the older one stays installed: only the image
// handle tells which shell started the program.
TEST(ShellStart, WhichShellsDirectoryForEachCombinationOfProtocols) {
  constexpr DirectoryShell N = DirectoryShell::Newer, O = DirectoryShell::Older, X = DirectoryShell::None;
  struct Row {
    bool Parameters, Interface;  // on the image handle
    DirectoryShell Taken[4];     // with nothing, the older environment, the newer shell, both in the system
  } const rows[] = {
      {false, false, {X, O, N, N}},  // no shell started it (the entry does not run)
      {true, false, {X, O, N, N}},   // the newer shell
      {false, true, {X, O, N, O}},   // the older shell, also when started from the newer one
      {true, true, {X, O, N, N}},    // a newer shell that offers the older interface too
  };
  for (const Row& row : rows) {
    for (int system = 0; system < 4; system++) {
      const ShellProtocols offered{row.Parameters, row.Interface, (system & 2) != 0, (system & 1) != 0};
      EXPECT_EQ(DirectoryShellFor(offered), row.Taken[system])
          << "parameters " << row.Parameters << ", interface " << row.Interface << ", system " << system;
    }
  }
}

TEST(ShellStart, TheWatchdogIsDisarmedOnceBeforeTheFirstPortAccess) {
  struct Case {
    std::vector<std::u16string> Args;
  } const cases[] = {{{u"A.BIN", u"/p", u"/y", u"/k"}}, {{u"A.BIN", u"/x"}}, {{}}};
  for (const Shell& shell : kShells) {
    for (const Case& c : cases) {
      TempDir volume;
      volume.Write("EC/A.BIN", OneBlockImage());
      RunUnder(shell, volume, c.Args);
      const sim::Machine& m = sim::TheMachine();
      const bool started = shell.Kind != sim::ShellKind::None;
      EXPECT_EQ(m.WatchdogDisabledAt, started ? std::vector<uint64_t>{0} : std::vector<uint64_t>{})
          << shell.Name << " with " << c.Args.size() << " arguments";
      EXPECT_EQ(m.PortOps > 0, started) << shell.Name;
    }
  }
}

}  // namespace
