// The burn-in set-up (scripts, counter reset, power cycle) and the run
// counter, on the simulated machine's first volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "app/option_state.h"
#include "ec/ec_channel.h"
#include "power/burn_in.h"
#include "power/post_flash.h"
#include "sim/machine.h"
#include "tests/test_support.h"
#include "tests/console_text.h"

namespace {

using testing_support::ArgVector;
using testing_support::RunMain;
using testing_support::SampleImage;
using testing_support::TempDir;

constexpr char kFirst[] = "EFI/BOOT/ecBurnIn1st.NSH";
constexpr char kStartUp[] = "EFI/BOOT/StartUp.NSH";
constexpr char kSecond[] = "EFI/BOOT/ecBurnIn2nd.NSH";
constexpr char kCounter[] = "EFI/BOOT/FlashTimes.TXT";

std::string Script(const std::string& volume, const std::string& copy, const std::string& directory,
                   const std::string& image) {
  return volume + "\ncd \\EFI\\BOOT\ncp -q " + copy + " StartUp.NSH\ncd " + directory + "\ntarnwick " + image +
         " /ad /c5 /v /br \r\n";
}

sim::MachineConfig ConfigFor(const TempDir& volume, std::optional<std::u16string> cwd = u"FS0:\\EC\\TOOLS") {
  sim::MachineConfig config;
  config.Volumes = {volume.Path()};
  config.CurrentDirectory = cwd;
  return config;
}

void RunSetUp(const sim::MachineConfig& config, const std::vector<std::u16string>& args) {
  sim::Boot(config);
  ResetOptionState();
  SelectEcPorts(1);
  ArgVector argv(args);
  CreateBurnInScripts(argv.Argc(), argv.Argv());
}


struct Write {
  uint16_t Port;
  uint8_t Value;
  bool operator==(const Write& o) const { return Port == o.Port && Value == o.Value; }
};

std::vector<Write> Writes() {
  std::vector<Write> out;
  for (const sim::PortAccess& a : sim::TheMachine().Trace)
    if (a.Write) out.push_back({a.Port, a.Value});
  return out;
}

void ExpectClean(const std::string& what) {
  sim::Audit audit = sim::TakeAudit();
  EXPECT_TRUE(audit.Clean()) << what << ": " << (audit.Details.empty() ? "" : audit.Details[0]);
}

// Nothing reached the EC and no time passed: the machine was not power-cycled.
void ExpectNoPowerCycle(const std::string& what) {
  EXPECT_TRUE(Writes().empty()) << what;
  EXPECT_TRUE(sim::TheMachine().Stalls.empty()) << what;
}

const std::string kCountdownLine =
    "Down count to shutdown then auto power on,  Waitting (5) second(s) .....";

TEST(BurnInSetUp, TheWorkedExampleByteForByte) {
  TempDir volume;
  volume.MakeDir("EFI/BOOT");
  RunSetUp(ConfigFor(volume), {u"A.BIN", u"/bi", u"B.BIN"});

  const std::string first = Script("FS0:", "ecBurnIn2ND.NSH", "\\EC\\TOOLS", "A.BIN");
  EXPECT_EQ(volume.Read(kStartUp), first);
  EXPECT_EQ(volume.Read(kFirst), first);
  EXPECT_EQ(volume.Read(kSecond), Script("FS0:", "ecBurnIn1ST.NSH", "\\EC\\TOOLS", "B.BIN"));
  EXPECT_EQ(volume.Read(kCounter), "0");

  EXPECT_EQ(console_text::Text(), "Create Burn in File : ecBurnIn1st.NSH \n"
                       "Create Burn in File : ecBurnIn2nd.NSH \n"
                       "Create AutoRun File : StartUp.NSH \n" +
                           kCountdownLine + "543210" + std::string(75, ' ') +
                           "Wait a moment again about 0~4 seconds.");
  const sim::Console& screen = sim::TheMachine().Screen;
  EXPECT_EQ(screen.Row(12), std::string(18, ' ') + "Wait a moment again about 0~4 seconds.");
  EXPECT_EQ(screen.Attribute, 0x02u);
  EXPECT_TRUE(screen.CursorVisible);

  // The digits go inside the brackets, one per second, before the EC is told.
  std::vector<std::u16string> digits;
  const auto& calls = screen.Calls;
  for (size_t i = 0; i + 1 < calls.size(); i++)
    if (calls[i].What == sim::ConsoleCall::Kind::Cursor && calls[i].Column == 62 && calls[i].Row == 12) {
      EXPECT_EQ(calls[i + 1].Attribute, 0x04u);
      digits.push_back(calls[i + 1].Text);
    }
  EXPECT_EQ(digits, (std::vector<std::u16string>{u"5", u"4", u"3", u"2", u"1", u"0"}));
  EXPECT_EQ(sim::TheMachine().Stalls, std::vector<uint64_t>(6, 1000000));
  EXPECT_EQ(Writes(), (std::vector<Write>{{0x62, 0x97}, {0x62, 0x00}, {0x62, 0x05}, {0x66, 0x95}}));
  for (const sim::PortAccess& a : sim::TheMachine().Trace) EXPECT_EQ(a.TimeUs, 6000000u);
  ExpectClean("worked example");
}

// Which names and directory go into the scripts; lines of any length (a deep
// current directory, a long image or mapping name) are written whole.
TEST(BurnInSetUp, SecondNameAndDirectoryRules) {
  const std::string deep = "\\" + std::string(300, 'D') + "\\" + std::string(300, 'E');
  const std::string longName = std::string(600, 'N') + ".BIN";
  const std::string mapping(600, 'M');
  const std::u16string deep16(deep.begin(), deep.end()), name16(longName.begin(), longName.end());
  struct Case {
    std::u16string Cwd;
    std::vector<std::u16string> Args;
    std::string Volume, Directory, FirstImage, SecondImage;
  } cases[] = {
      {u"FS0:\\EC\\TOOLS", {u"A.BIN", u"/bi"}, "FS0:", "\\EC\\TOOLS", "A.BIN", "A.BIN"},
      {u"FS0:\\EC\\TOOLS", {u"A.BIN", u"/bi", u"/y"}, "FS0:", "\\EC\\TOOLS", "A.BIN", "A.BIN"},
      {u"FS0:\\EC\\TOOLS", {u"A.BIN", u"/bi", u"B.BIN", u"C.BIN"}, "FS0:", "\\EC\\TOOLS", "A.BIN", "B.BIN"},
      {u"FS0:\\", {u"A.BIN", u"/bi", u"B.BIN"}, "FS0:", "\\", "A.BIN", "B.BIN"},
      {u"FS10:\\X", {u"A.BIN", u"/bi", u"B.BIN"}, "FS10:", "\\X", "A.BIN", "B.BIN"},
      {u"BLK3:", {u"A.BIN", u"/bi", u"B.BIN"}, "BLK3:", "\\", "A.BIN", "B.BIN"},
      {u"MAPPING", {u"a.bin", u"/bi", u"b.bin"}, "MAPP", "\\", "a.bin", "b.bin"},
      {u"FS0:" + deep16, {u"A.BIN", u"/bi", u"B.BIN"}, "FS0:", deep, "A.BIN", "B.BIN"},
      {u"FS0:\\EC", {name16, u"/bi", u"B.BIN"}, "FS0:", "\\EC", longName, "B.BIN"},
      {u"FS0:\\EC", {u"A.BIN", u"/bi", name16}, "FS0:", "\\EC", "A.BIN", longName},
      {std::u16string(mapping.begin(), mapping.end()) + u":\\EC", {u"A.BIN", u"/bi"}, mapping + ":", "\\EC", "A.BIN",
       "A.BIN"},
  };
  for (const Case& c : cases) {
    TempDir volume;
    volume.MakeDir("EFI/BOOT");
    RunSetUp(ConfigFor(volume, c.Cwd), c.Args);
    const std::string first = Script(c.Volume, "ecBurnIn2ND.NSH", c.Directory, c.FirstImage);
    EXPECT_EQ(volume.Read(kStartUp), first);
    EXPECT_EQ(volume.Read(kFirst), first);
    EXPECT_EQ(volume.Read(kSecond), Script(c.Volume, "ecBurnIn1ST.NSH", c.Directory, c.SecondImage));
    EXPECT_EQ(Writes().size(), 4u) << "the power cycle follows";
    ExpectClean("script lines");
  }
}

TEST(BurnInSetUp, OldLongerFilesAreReplacedWhole) {
  TempDir volume;
  volume.MakeDir("EFI/BOOT");
  volume.Write(kStartUp, std::string(500, '#') + "\nold script\n");
  volume.Write(kSecond, std::string(300, '#'));
  volume.Write(kCounter, "41");
  RunSetUp(ConfigFor(volume), {u"A.BIN", u"/bi", u"B.BIN"});
  EXPECT_EQ(volume.Read(kStartUp), Script("FS0:", "ecBurnIn2ND.NSH", "\\EC\\TOOLS", "A.BIN"));
  EXPECT_EQ(volume.Read(kSecond), Script("FS0:", "ecBurnIn1ST.NSH", "\\EC\\TOOLS", "B.BIN"));
  EXPECT_EQ(volume.Read(kCounter), "0");
}

TEST(BurnInSetUp, AFileTheDeleteLeavesIsCutInstead) {
  TempDir volume;
  volume.MakeDir("EFI/BOOT");
  volume.Write(kStartUp, std::string(500, '#'));
  sim::MachineConfig config = ConfigFor(volume);
  config.Fault.DeleteFailCall = 2;  // StartUp.NSH's delete
  RunSetUp(config, {u"A.BIN", u"/bi", u"B.BIN"});
  EXPECT_EQ(volume.Read(kStartUp), Script("FS0:", "ecBurnIn2ND.NSH", "\\EC\\TOOLS", "A.BIN"));
}

TEST(BurnInSetUp, FailuresBeforeTheScriptsAreWritten) {
  const std::string create = "Can't create file: \\EFI\\BOOT\\";
  struct Case {
    const char* What;
    void (*Inject)(sim::Faults&);
    bool MakeBoot;
    std::string Message;
    std::vector<const char*> EmptyFiles;  // created but never written
  } cases[] = {
      {"no file system", [](sim::Faults& f) { f.NoFileSystem = true; }, true,
       "Can't create file protocal (Err. No. : 1)\n", {}},
      {"volume", [](sim::Faults& f) { f.OpenVolumeFails = {0}; }, true, "Can't OpenVolume (Err. No. : 1)\n", {}},
      {"missing \\EFI\\BOOT", [](sim::Faults&) {}, false, create + "ecBurnIn1st.NSH, (Err. No. :1)\n", {}},
      {"third file", [](sim::Faults& f) { f.CreateFailPath = u"\\EFI\\BOOT\\ecBurnIn2nd.NSH"; }, true,
       create + "ecBurnIn2nd.NSH, (Err. No. :1)\n", {kFirst, kStartUp}},
      // The counter's second creation, after its delete.
      {"counter again", [](sim::Faults& f) { f.CreateFailCall = 8; }, true,
       create + "FlashTimes.TXT, (Err. No. :1)\n", {kFirst, kStartUp, kSecond}},
      // Each line is built before the first file that holds it is created.
      {"first line's memory", [](sim::Faults& f) { f.AllocFailCall = 1; }, true,
       create + "ecBurnIn1st.NSH, (Err. No. :1)\n", {}},
      {"second script's own line", [](sim::Faults& f) { f.AllocFailCall = 6; }, true,
       create + "ecBurnIn2nd.NSH, (Err. No. :1)\n", {kFirst, kStartUp}},
      // StartUp.NSH stays after its Delete and cannot be cut either.
      {"neither deleted nor cut", [](sim::Faults& f) { f.DeleteFailCall = 2; f.SetInfoFailCall = 1; }, true,
       create + "StartUp.NSH, (Err. No. :1)\n", {kFirst, kStartUp}},
  };
  for (const Case& c : cases) {
    TempDir volume;
    if (c.MakeBoot) volume.MakeDir("EFI/BOOT");
    sim::MachineConfig config = ConfigFor(volume);
    c.Inject(config.Fault);
    RunSetUp(config, {u"A.BIN", u"/bi", u"B.BIN"});
    EXPECT_EQ(console_text::Text(), c.Message) << c.What;
    for (const char* file : {kFirst, kStartUp, kSecond, kCounter}) {
      bool empty = false;
      for (const char* e : c.EmptyFiles) empty = empty || std::string(e) == file;
      EXPECT_EQ(volume.Exists(file), empty) << c.What << " " << file;
      if (empty) EXPECT_EQ(volume.Read(file), "") << c.What << " " << file;
    }
    ExpectNoPowerCycle(c.What);
    ExpectClean(c.What);
  }
}

TEST(BurnInSetUp, WithoutACurrentDirectoryNothingIsTouched) {
  TempDir volume;
  volume.MakeDir("EFI/BOOT");
  RunSetUp(ConfigFor(volume, std::nullopt), {u"A.BIN", u"/bi", u"B.BIN"});
  EXPECT_EQ(console_text::Text(),
            "Can't create the burn in files: the shell has no current directory. "
            "Change to the images' folder first (fs0:, cd \\EC).\n");
  EXPECT_FALSE(volume.Exists(kStartUp));
  ExpectNoPowerCycle("no current directory");
  ExpectClean("no current directory");
}

TEST(BurnInSetUp, ACounterThatDoesNotCloseIsReportedAndThePowerCycleGoesOn) {
  TempDir volume;
  volume.MakeDir("EFI/BOOT");
  sim::MachineConfig config = ConfigFor(volume);
  config.Fault.CloseFailPath = u"\\EFI\\BOOT\\FlashTimes.TXT";
  RunSetUp(config, {u"A.BIN", u"/bi", u"B.BIN"});
  EXPECT_NE(console_text::Text().find("Create AutoRun File : StartUp.NSH \n"
                           "Can not close the input file: \\EFI\\BOOT\\FlashTimes.TXT, (Err. No.: 1)\n" +
                           kCountdownLine),
            std::string::npos)
      << console_text::Text();
  EXPECT_EQ(Writes().size(), 4u);
}

// ---- the counter ----------------------------------------------------------------

void RunBump(const sim::MachineConfig& config) {
  sim::Boot(config);
  ResetOptionState();
  SelectEcPorts(1);
  gBurnInRunCount = 0;
  BumpBurnInCounter();
}

TEST(BurnInCounter, CountsAtTheWidthOfItsDigits) {
  struct Case {
    std::string Before, After;
    uint64_t Count;
  } cases[] = {
      {"0", "1", 1},
      {"9", "10", 10},
      {"41", "42", 42},
      {"007", "008", 8},
      {"0999", "1000", 1000},
      {"9999", "10000", 10000},
      {"", "1", 1},
      {"999999999", "1000000000", 1000000000},
      {"0000000000", "0000000001", 1},
      {"0000000041", "0000000042", 42},
      {"9999999998", "9999999999", 9999999999ull},
      // Left alone: not all digits, longer than ten bytes, or an eleventh digit needed.
      {"12\r\n", "12\r\n", 0},
      {"1-2", "1-2", 0},
      {"123456789012", "123456789012", 0},
      {"9999999999", "9999999999", 0},
  };
  for (const Case& c : cases) {
    TempDir volume;
    volume.Write(kCounter, c.Before);
    RunBump(ConfigFor(volume));
    EXPECT_EQ(volume.Read(kCounter), c.After) << c.Before;
    EXPECT_EQ(gBurnInRunCount, c.Count) << c.Before;
    EXPECT_EQ(console_text::Text(), "") << c.Before;
    ExpectClean(c.Before);
  }
}

TEST(BurnInCounter, FailedStepsLeaveTheFileAndCountZero) {
  struct Case {
    const char* What;
    void (*Inject)(sim::Faults&);
  } cases[] = {
      {"size query", [](sim::Faults& f) { f.GetInfoStatus = kEfiDeviceError; }},
      {"second GetInfo", [](sim::Faults& f) { f.GetInfoFailCall = 2; }},
      {"info record", [](sim::Faults& f) { f.AllocFailCall = 1; }},
      {"digit buffer", [](sim::Faults& f) { f.AllocFailCall = 2; }},
      {"read", [](sim::Faults& f) { f.ReadFailCall = 1; }},
      {"short read", [](sim::Faults& f) { f.ReadShortBytes = 1; }},
      {"size past 4 GiB", [](sim::Faults& f) { f.GetInfoFileSize = 0x100000002ull; }},
  };
  for (const Case& c : cases) {
    TempDir volume;
    volume.Write(kCounter, "41");
    sim::MachineConfig config = ConfigFor(volume);
    c.Inject(config.Fault);
    RunBump(config);
    EXPECT_EQ(volume.Read(kCounter), "41") << c.What;
    EXPECT_EQ(gBurnInRunCount, 0u) << c.What;
    ExpectClean(c.What);
  }
}

TEST(BurnInCounter, OpenFailuresPrintTheirMessage) {
  struct Case {
    const char* What;
    void (*Inject)(sim::Faults&);
    const char* Message;
  } cases[] = {
      {"missing file", [](sim::Faults&) {}, "Can't create file: \\EFI\\BOOT\\FlashTimes.TXT, (Err. No. :1)\n"},
      {"no file system", [](sim::Faults& f) { f.NoFileSystem = true; }, "Can't create file protocal (Err. No. : 1)\n"},
      {"volume", [](sim::Faults& f) { f.OpenVolumeFails = {0}; }, "Can't OpenVolume (Err. No. : 1)\n"},
  };
  for (const Case& c : cases) {
    TempDir volume;
    volume.MakeDir("EFI/BOOT");
    sim::MachineConfig config = ConfigFor(volume);
    c.Inject(config.Fault);
    RunBump(config);
    EXPECT_EQ(console_text::Text(), c.Message) << c.What;
    EXPECT_EQ(gBurnInRunCount, 0u) << c.What;
    EXPECT_FALSE(volume.Exists(kCounter)) << c.What;
    ExpectClean(c.What);
  }
}

TEST(BurnInCounter, TheFirstRunAfterTheSetUpShowsOne) {
  TempDir volume;
  volume.Write(kCounter, "0");
  RunBump(ConfigFor(volume));
  RunPostFlashAction(PostFlashChoice{PostFlashAction::ColdBoot, 5, false, true});
  EXPECT_EQ(sim::TheMachine().Screen.Row(24),
            std::string(18, ' ') + "Down count to shutdown,  Waitting (1) second(s) ..... (1)");
}

// ---- one iteration of the loop, as the scripts run it ------------------------------

TEST(BurnInLoop, OneRunCountsFlashesWithAutoloadDisabledAndColdBoots) {
  TempDir volume;
  const std::vector<uint8_t> image = SampleImage(196608);
  volume.Write("EC/TOOLS/A.BIN", image);
  volume.Write(kCounter, "0");
  sim::MachineConfig config = ConfigFor(volume);
  config.Args = {u"A.BIN", u"/ad", u"/c5", u"/v", u"/br"};
  EXPECT_EQ(RunMain(config), kExitOk);

  EXPECT_EQ(volume.Read(kCounter), "1");
  EXPECT_EQ(gBurnInRunCount, 1u);
  std::vector<uint8_t> expected = image;
  const bool small = gEcBoard.BlockCount <= 2;
  expected[0x42] = small ? 0x94 : 0x85;
  expected[0x48] = 0x00;
  std::vector<uint8_t> flash = sim::FlashContents();
  flash.resize(expected.size());
  EXPECT_EQ(flash, expected);

  const std::string text = console_text::Text();
  EXPECT_NE(text.find("Entry Flash ......                AutoLoad Disabled\n"), std::string::npos) << text;
  // The countdown line is drawn over whatever the update left on row 24.
  EXPECT_EQ(sim::TheMachine().Screen.Row(24).substr(18),
            "Down count to shutdown,  Waitting (1) second(s) ..... (1)");

  // After flash mode is left: the power-on message, then four power-off requests.
  std::vector<Write> writes = Writes();
  size_t exit = writes.size();
  for (size_t i = 0; i < writes.size(); i++)
    if (writes[i] == Write{0x66, 0xFE}) exit = i;
  ASSERT_LT(exit, writes.size());
  std::vector<Write> tail(writes.begin() + static_cast<long>(exit) + 1, writes.end());
  EXPECT_EQ(tail, (std::vector<Write>{{0x62, 0x97}, {0x62, 0x00}, {0x62, 0x05}, {0x66, 0x95}, {0x66, 0x95},
                                      {0x66, 0x95}, {0x66, 0x95}}));
  ExpectClean("one burn-in run");
}

TEST(BurnInLoop, WithoutTheCountOptionTheCounterIsNotTouched) {
  TempDir volume;
  volume.Write("EC/TOOLS/A.BIN", SampleImage(196608));
  volume.Write(kCounter, "41");
  sim::MachineConfig config = ConfigFor(volume);
  config.Args = {u"A.BIN", u"/ad", u"/c5", u"/v"};
  config.Fault.OpenFails[u"\\EFI\\BOOT\\FlashTimes.TXT"] = kEfiDeviceError;  // any attempt would show
  EXPECT_EQ(RunMain(config), kExitOk);
  EXPECT_EQ(volume.Read(kCounter), "41");
  EXPECT_EQ(console_text::Text().find("FlashTimes"), std::string::npos);
  EXPECT_EQ(sim::TheMachine().Screen.Row(24).substr(18), "Down count to shutdown,  Waitting (1) second(s) .....");
}

// The images that power cycles flash, as a shell runs StartUp.NSH: the UEFI
// Shell 2.x reads the whole script first; the older EDK shell reads it line by
// line from the open file, so the copy over the running script hands it the
// other script's lines from the same offset. The scripts stay as they are;
// their first three lines are equally long in both, so no line is cut.
std::vector<std::string> ImagesFlashed(const TempDir& volume, bool lineByLine, int cycles) {
  std::vector<std::string> flashed;
  for (int cycle = 0; cycle < cycles; cycle++) {
    std::string script = volume.Read(kStartUp);
    for (size_t at = 0; at < script.size();) {
      const size_t end = std::min(script.find('\n', at), script.size() - 1);
      const std::string line = script.substr(at, end + 1 - at);
      at = end + 1;
      if (line.rfind("cp -q ecBurnIn", 0) == 0) {  // the shell matches the names ignoring case
        const bool toSecond = line.find("ecBurnIn2ND.NSH") != std::string::npos;
        volume.Write(kStartUp, volume.Read(toSecond ? kSecond : kFirst));
        if (lineByLine) script = volume.Read(kStartUp);
      } else if (line.rfind("tarnwick ", 0) == 0) {
        flashed.push_back(line.substr(9, line.find(' ', 9) - 9));
      }
    }
  }
  return flashed;
}

TEST(BurnInLoop, TheOlderShellFlashesTheSecondImageFirst) {
  TempDir volume;
  volume.MakeDir("EFI/BOOT");
  RunSetUp(ConfigFor(volume, u"fs0:\\EC"), {u"A.BIN", u"/bi", u"B.BIN"});
  const std::vector<std::string> abab{"A.BIN", "B.BIN", "A.BIN", "B.BIN"};
  const std::vector<std::string> baba{"B.BIN", "A.BIN", "B.BIN", "A.BIN"};
  EXPECT_EQ(ImagesFlashed(volume, false, 4), abab);
  RunSetUp(ConfigFor(volume, u"fs0:\\EC"), {u"A.BIN", u"/bi", u"B.BIN"});
  EXPECT_EQ(ImagesFlashed(volume, true, 4), baba);
}

}  // namespace
