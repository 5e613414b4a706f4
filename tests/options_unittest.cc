// The command-line parser: every option, the digit and number rules, the
// argument-position quirks and the help list.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/option_state.h"
#include "app/options.h"
#include "ec/ec_channel.h"
#include "sim/machine.h"
#include "tests/console_text.h"
#include "tests/test_support.h"
#include "tests/row_name.h"

namespace {

constexpr int8_t kProbedBlocks = 3;

// The user's choices and the EC record, as the parser may change both.
struct Expected : OptionState {
  EcBoard Board;
};

// The records as the main sequence hands them to the parser: zeroed, port
// set 1, the probe's block count.
Expected StartState() {
  ResetOptionState();
  EcBoardReset();
  SelectEcPorts(1);
  EcBoardSetBlockCount(kProbedBlocks);
  return Expected{gOptionState, gEcBoard};
}

void ExpectSameBoard(const EcBoard& want, const EcBoard& got) {
  EXPECT_EQ(want.Ports.Index, got.Ports.Index);
  EXPECT_EQ(want.Ports.CommandPort, got.Ports.CommandPort);
  EXPECT_EQ(want.Ports.DataPort, got.Ports.DataPort);
  EXPECT_EQ(want.BlockCount, got.BlockCount);
  EXPECT_EQ(want.PartBlockCount, got.PartBlockCount);
  EXPECT_EQ(want.SectorEraseMode, got.SectorEraseMode);
  EXPECT_EQ(want.FlashModeReply, got.FlashModeReply);
}

void ExpectSameState(const OptionState& want, const OptionState& got) {
  EXPECT_EQ(static_cast<int>(want.PostAction), static_cast<int>(got.PostAction));
  EXPECT_EQ(want.VproSystem, got.VproSystem);
  EXPECT_EQ(static_cast<int>(want.Autoload), static_cast<int>(got.Autoload));
  EXPECT_EQ(want.DumpRom, got.DumpRom);
  EXPECT_EQ(want.DelaySeconds, got.DelaySeconds);
  EXPECT_EQ(want.ForceUpdate, got.ForceUpdate);
  EXPECT_EQ(want.BurnInSetup, got.BurnInSetup);
  EXPECT_EQ(want.BurnInCount, got.BurnInCount);
  EXPECT_EQ(want.KeepReserved, got.KeepReserved);
  EXPECT_EQ(want.SkipAcCheck, got.SkipAcCheck);
  EXPECT_EQ(want.EraseOnly, got.EraseOnly);
  EXPECT_EQ(want.EraseSector, got.EraseSector);
  EXPECT_EQ(want.SectorEraseMode, got.SectorEraseMode);
}

// Runs the parser on "tarnwick EC.BIN" followed by options.
bool Parse(std::vector<std::u16string> options) {
  std::vector<std::u16string> storage = {u"tarnwick", u"EC.BIN"};
  storage.insert(storage.end(), options.begin(), options.end());
  std::vector<Char16*> argv;
  for (std::u16string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  return ParseOptions(storage.size(), argv.data());
}

struct ParseCase {
  const char* Name;
  std::vector<std::u16string> Options;
  bool Accepted;
  std::function<void(Expected&)> Expect;  // changes from the start state
};

void Ports(Expected& s, uint8_t index, uint8_t command, uint8_t data) {
  s.Board.Ports.Index = index;
  s.Board.Ports.CommandPort = command;
  s.Board.Ports.DataPort = data;
}

void Erase(OptionState& s, uint32_t sector) {
  s.EraseOnly = 1;
  s.EraseSector = sector;
}

const std::vector<ParseCase>& Cases() {
  static const std::vector<ParseCase> cases = {
      {"UpperCaseLetter", {u"/K"}, true, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"UpperCaseSubLetter", {u"/AD"}, true, [](OptionState& s) { s.Autoload = AutoloadMode::Disable; }},
      {"AutoloadOn", {u"/an"}, true, [](OptionState& s) { s.Autoload = AutoloadMode::On; }},
      {"AutoloadOff", {u"/aF"}, true, [](OptionState& s) { s.Autoload = AutoloadMode::Off; }},
      {"MixedCaseBurnIn", {u"/Bi"}, true, [](OptionState& s) { s.BurnInSetup = 1; }},
      {"BurnInCount", {u"/br"}, true, [](OptionState& s) { s.BurnInCount = 1; }},
      {"TrailingCharactersIgnored", {u"/kx"}, true, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"OnlyOneDigitCounts", {u"/h12"}, true, [](OptionState& s) { s.DelaySeconds = 1; }},
      {"ColdBootKeepsEarlierDelay", {u"/h5", u"/c"}, true,
       [](OptionState& s) { s.PostAction = PostFlashAction::ColdBoot; s.DelaySeconds = 5; }},
      {"StayInShellKeepsDelay", {u"/c5", u"/p"}, true,
       [](OptionState& s) { s.PostAction = PostFlashAction::StayInShell; s.DelaySeconds = 5; }},
      {"WatchdogWithDigit", {u"/w7"}, true,
       [](OptionState& s) { s.PostAction = PostFlashAction::WatchdogReset; s.DelaySeconds = 7; }},
      {"NonDigitLeavesDelay", {u"/c3", u"/hx"}, true, [](OptionState& s) { s.DelaySeconds = 3; }},
      {"PortsWithoutDigitAreSetZero", {u"/o"}, true, [](Expected& s) { Ports(s, 0, 0x64, 0x60); }},
      {"PortsSetTwo", {u"/o2"}, true, [](Expected& s) { Ports(s, 2, 0x6C, 0x68); }},
      {"PortsSevenKeepsIndex", {u"/o7"}, true, [](Expected& s) { Ports(s, 7, 0x66, 0x62); }},
      {"FlashSizeNoDigit", {u"/f"}, true, [](Expected& s) { s.Board.BlockCount = s.Board.PartBlockCount = 1; }},
      {"FlashSize0", {u"/f0"}, true, [](Expected& s) { s.Board.BlockCount = s.Board.PartBlockCount = 1; }},
      {"FlashSize1", {u"/f1"}, true, [](Expected& s) { s.Board.BlockCount = s.Board.PartBlockCount = 1; }},
      {"FlashSize3", {u"/f3"}, true, [](Expected& s) { s.Board.BlockCount = s.Board.PartBlockCount = 1; }},
      {"FlashSize2", {u"/f2"}, true, [](Expected& s) { s.Board.BlockCount = s.Board.PartBlockCount = 2; }},
      {"FlashSize4", {u"/f4"}, true, [](Expected& s) { s.Board.BlockCount = s.Board.PartBlockCount = 3; }},
      {"FlashSize8", {u"/f8"}, true, [](Expected& s) { s.Board.BlockCount = s.Board.PartBlockCount = 4; }},
      {"EraseAll", {u"/e"}, true, [](OptionState& s) { Erase(s, 0); }},
      {"EraseTwelve", {u"/e12"}, true, [](OptionState& s) { Erase(s, 12); }},
      {"EachEraseStartsFromZero", {u"/e12", u"/e3"}, true, [](OptionState& s) { Erase(s, 3); }},
      {"EraseLastAddressableSector", {u"/e16384"}, true, [](OptionState& s) { Erase(s, 16384); }},
      // Non-digits are folded in as they stand (no case folding): 1*10 + ('A' - 48).
      {"EraseFoldsNonDigits", {u"/e1A"}, true, [](OptionState& s) { Erase(s, 27); }},
      {"EraseBeyondAddressRange", {u"/e16385"}, false, [](OptionState& s) { (void)s; }},
      {"EraseFarBeyond", {u"/e99999"}, false, [](OptionState& s) { (void)s; }},
      {"KeepReserved", {u"/g"}, true, [](OptionState& s) { s.KeepReserved = 1; }},
      {"SectorErase", {u"/l"}, true, [](OptionState& s) { s.SectorEraseMode = 1; }},
      {"Dump", {u"/r"}, true, [](OptionState& s) { s.DumpRom = 1; }},
      {"Vpro", {u"/v"}, true, [](OptionState& s) { s.VproSystem = 1; }},
      {"Force", {u"/y"}, true, [](OptionState& s) { s.ForceUpdate = 1; }},
      {"NoEffectOptions", {u"/i", u"/s", u"/u"}, true, [](OptionState& s) { (void)s; }},
      {"AutoloadWithoutSubLetter", {u"/a"}, false, [](OptionState& s) { (void)s; }},
      {"BurnInWithoutSubLetter", {u"/b"}, false, [](OptionState& s) { (void)s; }},
      {"AutoloadUnknownSubLetter", {u"/ax"}, false, [](OptionState& s) { (void)s; }},
      {"BurnInUnknownSubLetter", {u"/bz"}, false, [](OptionState& s) { (void)s; }},
      {"UnknownLetterX", {u"/x"}, false, [](OptionState& s) { (void)s; }},
      {"UnknownLetterD", {u"/d"}, false, [](OptionState& s) { (void)s; }},
      {"DigitAsLetter", {u"/1"}, false, [](OptionState& s) { (void)s; }},
      {"SignAsLetter", {u"/-"}, false, [](OptionState& s) { (void)s; }},
      {"LoneSlash", {u"/"}, false, [](OptionState& s) { (void)s; }},
      {"EarlierOptionsStayOnReject", {u"/k", u"/x", u"/y"}, false, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"BurnInEndsTheParse", {u"/bi", u"/x"}, true, [](OptionState& s) { s.BurnInSetup = 1; }},
      {"NothingAfterBurnInIsExamined", {u"/bi", u"EC2.BIN", u"/o2"}, true,
       [](OptionState& s) { s.BurnInSetup = 1; }},
      {"SecondFileNameSkipped", {u"EC2.BIN", u"/k"}, true, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"EmptySecondArgumentSkipped", {u"", u"/k"}, true, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"DashInSecondArgumentSkipped", {u"-y"}, true, [](OptionState& s) { (void)s; }},
      // From the third argument on the first character is not looked at: the
      // 'C' and '2' of a file name there make /c2.
      {"FileNameAfterOptionIsAnOption", {u"/k", u"EC2.BIN"}, true,
       [](OptionState& s) { s.SkipAcCheck = 1; s.PostAction = PostFlashAction::ColdBoot; s.DelaySeconds = 2; }},
      {"FileNameAfterOptionRejected", {u"/k", u"XX.BIN"}, false, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"DashFromThirdArgument", {u"/k", u"-y"}, true, [](OptionState& s) { s.SkipAcCheck = 1; s.ForceUpdate = 1; }},
      {"OneCharacterFromThirdArgument", {u"/k", u"y"}, false, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"EmptyFromThirdArgument", {u"/k", u""}, false, [](OptionState& s) { s.SkipAcCheck = 1; }},
      // Only the low 8 bits take part: U+012F reads as '/', U+014B as 'K'.
      {"SlashTestUsesLow8Bits", {u"\u012Fk"}, true, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"LetterUsesLow8Bits", {u"/\u014B"}, true, [](OptionState& s) { s.SkipAcCheck = 1; }},
      {"DigitUsesLow8Bits", {u"/h\u0135"}, true, [](OptionState& s) { s.DelaySeconds = 5; }},
  };
  return cases;
}

class ParseOptionsTable : public ::testing::TestWithParam<ParseCase> {
 protected:
  void SetUp() override { sim::Boot(sim::MachineConfig()); }
};

TEST_P(ParseOptionsTable, StoresWhatTheCommandLineSays) {
  const ParseCase& c = GetParam();
  Expected want = StartState();
  c.Expect(want);
  EXPECT_EQ(Parse(c.Options), c.Accepted);
  ExpectSameState(want, gOptionState);
  ExpectSameBoard(want.Board, gEcBoard);
  EXPECT_TRUE(sim::TheMachine().Screen.Calls.empty()) << "the parser prints nothing but the help list";
  EXPECT_TRUE(sim::TheMachine().Trace.empty()) << "the parser never talks to the EC";
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseOptionsTable, ::testing::ValuesIn(Cases()), RowName());

std::string HelpText() { return testing_support::GoldenFile("help_list.txt"); }

TEST(ParseOptionsHelp, ListsTheOptionsAndRejectsTheCommandLine) {
  sim::Boot(sim::MachineConfig());
  StartState();
  EXPECT_FALSE(Parse({u"/k", u"/AH", u"/y"}));
  EXPECT_EQ(console_text::Text(0, console_text::kWithMarks), HelpText());
  EXPECT_EQ(gOptionState.ForceUpdate, 0) << "nothing after /ah is examined";
}

TEST(ParseOptionsHelp, WholeRunEndsWithTheRejectLineAndExitCodeOne) {
  sim::MachineConfig config;
  config.Args = {u"EC.BIN", u"/k", u"/ah"};
  sim::Boot(config);
  EXPECT_EQ(sim::RunTarnwick(), kEfiUnsupported);
  EXPECT_EQ(sim::TheMachine().Screen.PlainUtf8(), HelpText() + "Please kindly to check your parameter.");
}

TEST(ParseOptionsRun, EraseBeyondTheAddressRangeEndsTheRun) {
  sim::MachineConfig config;
  config.Args = {u"EC.BIN", u"/e20000"};
  sim::Boot(config);
  EXPECT_EQ(sim::RunTarnwick(), kEfiUnsupported);
  EXPECT_EQ(sim::TheMachine().Screen.PlainUtf8(), "Please kindly to check your parameter.");
}

}  // namespace
