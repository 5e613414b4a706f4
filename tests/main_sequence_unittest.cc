// The main sequence end to end on the simulated machine: exit codes, the
// image path, and the order of what reaches the EC and the console.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "sim/machine.h"
#include "tests/test_support.h"
#include "tests/console_text.h"

namespace {

using testing_support::CountOf;
using testing_support::RunMain;
using testing_support::SampleImage;
using testing_support::TempDir;

sim::MachineConfig ConfigWithVolume(const TempDir& volume, std::vector<std::u16string> args) {
  sim::MachineConfig config;
  config.Volumes = {volume.Path()};
  config.Args = std::move(args);
  return config;
}

bool FlashModeEntered() {
  for (const std::string& e : sim::EventNames())
    if (e == "flash-mode-entered") return true;
  return false;
}

TEST(MainSequence, NeitherShellProtocolMeansUnsupportedAndNoConsoleCall) {
  sim::MachineConfig config;
  config.Shell = sim::ShellKind::None;
  config.Args = {u"EC.BIN", u"/p"};
  sim::Boot(config);
  EXPECT_EQ(sim::RunTarnwick(), kEfiUnsupported);
  EXPECT_TRUE(sim::TheMachine().Screen.Calls.empty());
  EXPECT_TRUE(sim::TheMachine().Trace.empty());
}

TEST(MainSequence, TheOlderShellInterfaceAlsoGivesTheArguments) {
  TempDir volume;
  sim::MachineConfig config = ConfigWithVolume(volume, {u"EC.BIN", u"/x"});
  config.Shell = sim::ShellKind::InterfaceOnly;
  sim::Boot(config);
  EXPECT_EQ(sim::RunTarnwick(), kEfiUnsupported);
  EXPECT_NE(console_text::Text().find("Please kindly to check your parameter."), std::string::npos);
}

TEST(MainSequence, StartsWithAClearConsoleInNormalTextAndProbesTheSize) {
  TempDir volume;
  RunMain(ConfigWithVolume(volume, {u"MISSING.BIN"}));
  const auto& calls = sim::TheMachine().Screen.Calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].What, sim::ConsoleCall::Kind::Clear);
  EXPECT_EQ(calls[1].What, sim::ConsoleCall::Kind::Attribute);
  EXPECT_EQ(calls[1].Attribute, 0x0Fu);
  // The first port traffic is the size probe's mailbox write on the fixed ports.
  const auto& trace = sim::TheMachine().Trace;
  ASSERT_FALSE(trace.empty());
  size_t firstWrite = 0;
  while (!trace[firstWrite].Write) firstWrite++;
  EXPECT_EQ(trace[firstWrite].Port, 0x66);
  EXPECT_EQ(trace[firstWrite].Value, 0x81);
}

TEST(MainSequence, WithoutAnImageNameTheRunIsRejected) {
  sim::MachineConfig config;
  config.Args = {};
  EXPECT_EQ(RunMain(config), kExitRejected);
  EXPECT_EQ(console_text::Text(), "Please kindly to check your parameter.");
}

TEST(MainSequence, ExitCodes) {
  struct Case {
    const char* Name;
    std::vector<std::u16string> Args;
    bool NoAc;
    int Expected;
    const char* Shown;
  } cases[] = {
      {"rejected option", {u"EC.BIN", u"/x"}, false, kExitRejected, "Please kindly to check your parameter."},
      {"help list", {u"EC.BIN", u"/ah"}, false, kExitRejected, "Please kindly to check your parameter."},
      {"no adapter", {u"EC.BIN", u"/p"}, true, kExitNoAdapter,
       "Not found the AC adapter,insert the AC adapter please. Then try again.\n"},
      {"missing image", {u"MISSING.BIN", u"/k"}, true, kExitLoadFailed, "\nEnd time "},
  };
  for (const Case& c : cases) {
    TempDir volume;
    sim::MachineConfig config = ConfigWithVolume(volume, c.Args);
    if (c.NoAc) config.Ec.AcReadings[0] = 0, config.Ec.AcReadingsLength = 1;
    EXPECT_EQ(RunMain(config), c.Expected) << c.Name;
    EXPECT_NE(console_text::Text().find(c.Shown), std::string::npos) << c.Name << ": " << console_text::Text();
    EXPECT_FALSE(FlashModeEntered()) << c.Name;
  }
}

TEST(MainSequence, AnEmptyImageIsNeverFlashed) {
  TempDir volume;
  volume.Write("EMPTY.BIN", std::string());
  EXPECT_EQ(RunMain(ConfigWithVolume(volume, {u"EMPTY.BIN"})), kExitNoImage);
  std::string text = console_text::Text();
  EXPECT_NE(text.find("Can't read, Try again, Please\n"), std::string::npos);
  EXPECT_FALSE(FlashModeEntered());
  EXPECT_TRUE(sim::TheMachine().Screen.CursorVisible);
  EXPECT_EQ(sim::TakeAudit().OpenAllocations, 0u);
}

TEST(MainSequence, AnImageLargerThanTheLargestFlashIsRefusedBeforeItIsShown) {
  TempDir volume;
  volume.Write("BIG.BIN", SampleImage(262145));
  EXPECT_EQ(RunMain(ConfigWithVolume(volume, {u"BIG.BIN"})), kExitNoImage);
  std::string text = console_text::Text();
  EXPECT_NE(text.find("This file is larger than 256K EC ROM, Check it, Please.\n\r"), std::string::npos);
  EXPECT_EQ(text.find("File EC Project"), std::string::npos);
  EXPECT_FALSE(FlashModeEntered());
  EXPECT_TRUE(sim::TheMachine().Screen.CursorVisible);
  EXPECT_EQ(sim::TakeAudit().OpenAllocations, 0u);
  bool red = false;
  for (const auto& call : sim::TheMachine().Screen.Calls)
    if (call.What == sim::ConsoleCall::Kind::Text && call.Text.find(u"larger than 256K") != std::u16string::npos)
      red = call.Attribute == 0x4F;
  EXPECT_TRUE(red);
}

TEST(MainSequence, ImagePathIsTheCurrentDirectoryJoinedWithTheName) {
  struct Case {
    std::optional<std::u16string> Cwd;
    std::u16string Name;
    const char* Path;
  } cases[] = {
      {u"FS0:\\", u"A.BIN", "\\A.BIN"},
      {u"FS0:\\EC\\TOOLS", u"A.BIN", "\\EC\\TOOLS\\A.BIN"},
      {u"FS0:\\EC", u"\\A.BIN", "\\EC\\\\A.BIN"},
      {u"FS0:\\EC", u"FS1:A.BIN", "\\EC\\FS1:A.BIN"},
      {u"FS0:", u"A.BIN", "\\A.BIN"},
      {std::nullopt, u"A.BIN", "\\A.BIN"},
  };
  for (const Case& c : cases) {
    TempDir volume;
    sim::MachineConfig config = ConfigWithVolume(volume, {c.Name});
    config.CurrentDirectory = c.Cwd;
    EXPECT_EQ(RunMain(config), kExitLoadFailed);
    std::string expected = std::string("Can not open the input file:") + c.Path + "\n\r";
    EXPECT_NE(console_text::Text().find(expected), std::string::npos) << c.Path << " in " << console_text::Text();
  }
}

TEST(MainSequence, BannerFollowsThePortSetAndTheClock) {
  TempDir volume;
  sim::MachineConfig config = ConfigWithVolume(volume, {u"MISSING.BIN", u"/o2"});
  config.Ec.CommandPortSet = 2;
  config.Time = EfiTime{2026, 12, 7, 9, 5, 3, 0, 0, 0, 0, 0};
  RunMain(config);
  EXPECT_EQ(CountOf(console_text::Text(), "2nd EC Flash Utility for UEFI Ver 1.01       Start time 09:05:03\n"), 1u);

  config.Args = {u"MISSING.BIN"};
  config.Fault.GetTimeFails = true;
  RunMain(config);
  EXPECT_EQ(CountOf(console_text::Text(), "EC Flash Utility for UEFI Ver 1.19.01.11       Start time 00:00:00\n"), 1u);
}

TEST(MainSequence, ACleanUpdateVerifiesAndLeavesTheImageInTheFlash) {
  TempDir volume;
  std::vector<uint8_t> image = SampleImage(196608);
  volume.Write("EC.BIN", image);
  sim::MachineConfig config = ConfigWithVolume(volume, {u"EC.BIN", u"/p"});
  config.Flash = SampleImage(196608, "TESTPRJ", "1.19.01.11", 7);
  EXPECT_EQ(RunMain(config), kExitOk);
  EXPECT_EQ(sim::FlashContents(), image);
  std::string text = console_text::Text();
  EXPECT_EQ(CountOf(text, "\n Verfied success\n"), 1u);
  EXPECT_NE(text.find("\nEnd time "), std::string::npos);
  EXPECT_TRUE(sim::TheMachine().Screen.CursorVisible);
  EXPECT_EQ(sim::TakeAudit().OpenAllocations, 0u);
  EXPECT_EQ(sim::TakeAudit().OpenFiles, 0u);
}

TEST(MainSequence, FiveFailedPassesReturnUpdateFailed) {
  TempDir volume;
  std::vector<uint8_t> image = SampleImage(196608);
  sim::MachineConfig config = ConfigWithVolume(volume, {u"EC.BIN", u"/p"});
  config.Ec.FlashFaults[0] = sim::EcFlashFault{0x100, 0, true, false, 0};
  config.Ec.FlashFaultCount = 1;
  if (image[0x100] == 0xFF) image[0x100] = 0;  // make sure the bad cell matters
  volume.Write("EC.BIN", image);
  EXPECT_EQ(RunMain(config), kExitUpdateFailed);
  std::string text = console_text::Text();
  EXPECT_EQ(CountOf(text, "\n Verfied fail\n"), 5u);
  EXPECT_NE(text.find("\nEnd time "), std::string::npos);  // the run still ends normally
}

TEST(MainSequence, DecliningAProjectMismatchQuitsBeforeFlashMode) {
  TempDir volume;
  volume.Write("EC.BIN", SampleImage(65536, "OTHERPRJ"));
  sim::MachineConfig config = ConfigWithVolume(volume, {u"EC.BIN", u"/p"});
  config.Keys = sim::KeysFromText(u"n");
  EXPECT_EQ(RunMain(config), kExitDeclined);
  EXPECT_NE(console_text::Text().find("\nSelectd to quit this update\n"), std::string::npos);
  EXPECT_FALSE(FlashModeEntered());
  EXPECT_EQ(console_text::Text().find("End time"), std::string::npos);
  EXPECT_TRUE(sim::TheMachine().Screen.CursorVisible);
  EXPECT_EQ(sim::TakeAudit().OpenAllocations, 0u);
}

TEST(MainSequence, EraseOnlyErasesOnceAndProgramsNothing) {
  TempDir volume;
  volume.Write("EC.BIN", SampleImage(65536));
  sim::MachineConfig config = ConfigWithVolume(volume, {u"EC.BIN", u"/e5", u"/g", u"/p"});
  config.Flash.assign(196608, 0x00);
  EXPECT_EQ(RunMain(config), kExitOk);
  std::string text = console_text::Text();
  EXPECT_NE(text.find("Erase position(4K-5K)"), std::string::npos);
  std::vector<uint8_t> flash = sim::FlashContents();
  for (size_t a = 0; a < flash.size(); a++) {
    uint8_t expected = (a >= 0x1000 && a < 0x1400) ? 0xFF : 0x00;
    ASSERT_EQ(flash[a], expected) << a;
  }
  EXPECT_EQ(text.find("Write data"), std::string::npos);
  EXPECT_EQ(text.find("Blank Check"), std::string::npos);
}

TEST(MainSequence, StepsReachTheEcAndTheConsoleInTheirOrder) {
  TempDir volume;
  std::vector<uint8_t> image = SampleImage(65536);
  volume.Write("EC.BIN", image);
  sim::MachineConfig config = ConfigWithVolume(volume, {u"EC.BIN", u"/p"});
  config.Ec.FlashSize = 65536;  // one block: every block and address byte is 0x00
  config.Ec.SizeReply = 0x20;
  EXPECT_EQ(RunMain(config), kExitOk);

  // Every nonzero byte to the command port, in order: the size probe's mailbox
  // (four RAM writes, one read), the two adapter readings, the project and
  // version queries, flash mode with its query and the part ID, the erase,
  // the blank check's read, programming, the verify's read, leaving flash mode.
  std::vector<uint8_t> commands;
  for (const sim::PortAccess& a : sim::TheMachine().Trace)
    if (a.Write && a.Port == 0x66 && a.Value != 0) commands.push_back(a.Value);
  const std::vector<uint8_t> expected = {0x81, 0x81, 0x81, 0x81, 0x80, 0x80, 0x80, 0x92, 0x93,
                                         0xDE, 0xDC, 0xF0, 0x04, 0x01, 0x03, 0x02, 0x03, 0xFE};
  EXPECT_EQ(commands, expected);

  // What the user sees, in order, with the cursor hidden from the image lines
  // to the end of the update.
  const std::string text = console_text::Text();
  const char* milestones[] = {"EC Flash Utility for UEFI", "M/B  EC Project: ", "M/B  EC Version: ",
                              "File EC Project: ", "File EC Version: ", "File EC Build Date: ",
                              "Entry Flash ...... ", "Get Flash Part ID", "Erase ====", "Blank Check ====",
                              "Write data ====", "Verify Check ====", "\nEnd time "};
  size_t at = 0;
  for (const char* m : milestones) {
    const std::string needle = m;
    size_t found = text.find(needle, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << needle;
    at = found;
  }
  std::vector<bool> cursor;
  for (const auto& call : sim::TheMachine().Screen.Calls)
    if (call.What == sim::ConsoleCall::Kind::CursorVisible) cursor.push_back(call.Visible);
  EXPECT_EQ(cursor, (std::vector<bool>{false, true}));
  EXPECT_EQ(sim::FlashContents(), image);
}

}  // namespace
