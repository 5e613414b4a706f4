// The image's identity lines, the checksum and the project check with its
// prompt, on the simulated console.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/option_state.h"
#include "image/identity.h"
#include "sim/machine.h"
#include "tests/console_text.h"
#include "tests/test_support.h"
#include "tests/row_name.h"

namespace {

std::vector<uint8_t> Image(const std::string& bytes) { return std::vector<uint8_t>(bytes.begin(), bytes.end()); }

ImageBuffer View(std::vector<uint8_t>& bytes) { return ImageBuffer{bytes.empty() ? nullptr : bytes.data(), bytes.size()}; }

void BootConsole(std::vector<InputKey> keys = {}) {
  sim::MachineConfig config;
  config.Keys = std::move(keys);
  sim::Boot(config);
  ResetOptionState();
  ConSetAttribute(kAttrNormal);
}

std::string Name(const uint8_t* name) { return std::string(reinterpret_cast<const char*>(name), kNameBufferSize); }

std::string Padded(const std::string& s) { return s + std::string(kNameBufferSize - s.size(), '\0'); }

const std::string kNotEcFile = "{4F}This file is not EC file, Check it, Please.\n\r{0F}";

struct ProjectCase {
  const char* Name;
  std::string Image;
  std::string Line;  // coloured console text
  std::string Buffer;  // the 16 bytes of the name buffer afterwards
};

class ShowImageProjectTable : public ::testing::TestWithParam<ProjectCase> {};

TEST_P(ShowImageProjectTable, FindsTheFirstTagAndShowsIt) {
  const ProjectCase& c = GetParam();
  BootConsole();
  std::vector<uint8_t> bytes = Image(c.Image);
  uint8_t name[kNameBufferSize];
  std::memset(name, 0xAA, sizeof name);  // stale bytes from before must not survive
  ShowImageProject(name, View(bytes));
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), c.Line);
  EXPECT_EQ(Name(name), c.Buffer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowImageProjectTable,
    ::testing::Values(
        ProjectCase{"Plain", "xxPRJ:ABC$yy", "File EC Project: {3F}ABC\n{0F}", Padded("ABC$")},
        ProjectCase{"NulRightAfterKeywordIsAbsent", std::string("PRJ:\0ZZ$PRJ:GOOD$", 17), kNotEcFile,
                    Padded(std::string("\0ZZ$", 4))},
        ProjectCase{"SixteenBytesWithoutDollar", "PRJ:0123456789ABCDEFGH$",
                    "File EC Project: {3F}0123456789ABCDEF\n{0F}", "0123456789ABCDEF"},
        ProjectCase{"NoTag", "nothing here", kNotEcFile, Padded("")},
        ProjectCase{"EmptyImage", "", kNotEcFile, Padded("")},
        ProjectCase{"KeywordInTheLastBytes", "abcdPRJ:", kNotEcFile, Padded("")},
        ProjectCase{"KeywordCutByTheEnd", "abcdPRJ", kNotEcFile, Padded("")},
        ProjectCase{"ValueRunsIntoTheEnd", "..PRJ:AB", "File EC Project: {3F}AB\n{0F}", Padded("AB")},
        ProjectCase{"EmptyValue", "PRJ:$", "File EC Project: {3F}\n{0F}", Padded("$")},
        ProjectCase{"KeywordIsCaseSensitive", "prj:ABC$PRJ:DEF$", "File EC Project: {3F}DEF\n{0F}",
                    Padded("DEF$")}),
    [](const ::testing::TestParamInfo<ProjectCase>& info) { return info.param.Name; });

struct VersionCase {
  const char* Name;
  std::string Image;
  std::string VersionPart;  // what follows the build-date label up to the checksum line is checked apart
};

std::string VersionLine(const std::string& value) { return "File EC Version: {5F}1." + value + "\n{0F}"; }
const std::string kNoVersion = "{4F}This file can not get EC version, Check it, Please.\n\r{0F}";

class ShowImageVersionTable : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ShowImageVersionTable, SkipsToTheOnePointAndShowsTheRest) {
  const VersionCase& c = GetParam();
  BootConsole();
  std::vector<uint8_t> bytes = Image(c.Image);
  uint8_t version[kNameBufferSize];
  std::memset(version, 0xAA, sizeof version);
  ShowImageVersion(version, View(bytes));
  const std::string text = console_text::Text(1, console_text::kWithMarks);
  EXPECT_EQ(text.substr(0, text.find("File EC Build Date: ")), c.VersionPart);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowImageVersionTable,
    ::testing::Values(
        VersionCase{"LeadingLetterSkipped", "VER:V1.19.01.11$", VersionLine("19.01.11")},
        VersionCase{"Plain", "VER:1.19.01.11$", VersionLine("19.01.11")},
        // No "1." within reach: the value starts where the 16-step scan ended.
        VersionCase{"NoOnePointInReach", "VER:2.05$ABCDEFGHIJKVALUE$", VersionLine("VALUE")},
        // A '1' takes the byte after it along, so the second '1' is never examined.
        VersionCase{"OneOneDoesNotMatchAtTheSecond", "VER:11.05$1.X$", VersionLine("X")},
        VersionCase{"NulValueIsAbsent", std::string("VER:1.\0", 7), kNoVersion},
        VersionCase{"NoTag", "PRJ:ABC$", kNoVersion},
        VersionCase{"KeywordInTheLastBytes", "xxVER:", kNoVersion},
        VersionCase{"OneAsTheLastByte", "xxVER:1", kNoVersion},
        VersionCase{"OnePointAsTheLastBytes", "xxVER:1.", kNoVersion},
        VersionCase{"ScanStopsAtTheEnd", "VER:2.05", kNoVersion},
        VersionCase{"ValueRunsIntoTheEnd", "VER:1.23", VersionLine("23")}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return info.param.Name; });

TEST(ShowImageVersion, DateAndChecksumFollowOnOneLine) {
  BootConsole();
  std::vector<uint8_t> bytes = Image("VER:1.02$DATE:2026/12/01$");
  uint8_t version[kNameBufferSize];
  ShowImageVersion(version, View(bytes));
  uint16_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint16_t>(sum + b);
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%04X", sum);
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), VersionLine("02") + "File EC Build Date: 2026/12/01        Check Sum: {6F}" +
                                           checksum + "\n{0F}");
  EXPECT_EQ(Name(version), Padded("02$"));
}

TEST(ShowImageVersion, DateInTheLastBytesAndMissingDate) {
  BootConsole();
  std::vector<uint8_t> cut = Image("DATE:20");
  uint8_t version[kNameBufferSize];
  ShowImageVersion(version, View(cut));
  std::string text = console_text::Text(1, console_text::kWithMarks);
  EXPECT_NE(text.find("File EC Build Date: 20        Check Sum: "), std::string::npos) << text;

  BootConsole();
  std::vector<uint8_t> none = Image("DATE");
  ShowImageVersion(version, View(none));
  text = console_text::Text(1, console_text::kWithMarks);
  EXPECT_NE(text.find("File EC Build Date:         Check Sum: "), std::string::npos) << text;
}

TEST(ShowImageVersion, LongDateIsCutAtSixteen) {
  BootConsole();
  std::vector<uint8_t> bytes = Image("DATE:0123456789ABCDEFGHIJ$");
  uint8_t version[kNameBufferSize];
  ShowImageVersion(version, View(bytes));
  EXPECT_NE(console_text::Text(1, console_text::kWithMarks).find("Date: 0123456789ABCDEF        Check"), std::string::npos);
}

struct ChecksumCase {
  size_t Size;
  const char* Shown;
};

class ImageChecksumTable : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(ImageChecksumTable, WrapsAtSixteenBits) {
  BootConsole();
  std::vector<uint8_t> bytes(GetParam().Size, 0xFF);
  uint8_t version[kNameBufferSize];
  ShowImageVersion(version, View(bytes));
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), kNoVersion + "File EC Build Date:         Check Sum: {6F}" +
                                           GetParam().Shown + "\n{0F}");
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageChecksumTable,
                         ::testing::Values(ChecksumCase{256, "FF00"}, ChecksumCase{65536, "0000"},
                                           ChecksumCase{0, "0000"}, ChecksumCase{1, "00FF"}),
                         [](const auto& row) { return "Bytes" + std::to_string(row.param.Size); });

// ---- The project check and its prompt ------------------------------------------

std::vector<uint8_t> NameBuffer(const std::string& s) {
  std::vector<uint8_t> out(kNameBufferSize, 0);
  std::memcpy(out.data(), s.data(), s.size() < kNameBufferSize ? s.size() : kNameBufferSize);
  return out;
}

struct MatchCase {
  const char* Name;
  std::string Ec;
  std::string Image;
  bool Match;
};

class ProjectMatchTable : public ::testing::TestWithParam<MatchCase> {};

TEST_P(ProjectMatchTable, MatchGoesOnSilentlyAndMismatchPrompts) {
  const MatchCase& c = GetParam();
  BootConsole({InputKey{0, u'n'}});
  std::vector<uint8_t> ec = NameBuffer(c.Ec), image = NameBuffer(c.Image);
  const bool goOn = CheckImageProject(ec.data(), image.data(), gOptionState.ForceUpdate != 0);
  EXPECT_EQ(goOn, c.Match);
  EXPECT_EQ(sim::TheMachine().KeyWaits, c.Match ? 0u : 1u);
  if (c.Match) EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProjectMatchTable,
    ::testing::Values(MatchCase{"Same", "ABC$", "ABC$", true}, MatchCase{"ImageLonger", "ABC$", "ABCD$", false},
                      MatchCase{"ImageShorter", "ABC$", "AB$", false}, MatchCase{"ImageAbsent", "ABC$", "", false},
                      MatchCase{"BothAbsent", "", "", true}, MatchCase{"CaseDiffers", "ABC$", "abc$", false},
                      MatchCase{"AllSixteenAgree", "0123456789ABCDEF", "0123456789ABCDEF", true},
                      MatchCase{"SixteenDifferInTheLast", "0123456789ABCDEF", "0123456789ABCDEG", false},
                      MatchCase{"DollarAsTheLastByte", "0123456789ABCDE$", "0123456789ABCDE$", true}));

const std::string kPrompt =
    "{4F}It's difference project, this file can't use on this machine\n"
    "Press 'Y' key to continue update, the others key to quit(Y/N)?{0F}{on}";

struct KeyCase {
  const char* Name;
  InputKey Key;
  bool GoOn;
};

class ProjectPromptTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ProjectPromptTable, OnlyYContinues) {
  const KeyCase& c = GetParam();
  BootConsole({c.Key});
  std::vector<uint8_t> ec = NameBuffer("ABC$"), image = NameBuffer("XYZ$");
  EXPECT_EQ(CheckImageProject(ec.data(), image.data(), gOptionState.ForceUpdate != 0), c.GoOn);
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks),
            kPrompt + "{off}" + (c.GoOn ? "\nSelectd to continue this update\n" : "\nSelectd to quit this update\n"));
}

INSTANTIATE_TEST_SUITE_P(Keys, ProjectPromptTable,
                         ::testing::Values(KeyCase{"UpperY", {0, u'Y'}, true}, KeyCase{"LowerY", {0, u'y'}, true},
                                           KeyCase{"N", {0, u'n'}, false}, KeyCase{"Enter", {0, u'\r'}, false},
                                           KeyCase{"Escape", {0x17, 0}, false},
                                           KeyCase{"ArrowUp", {0x01, 0}, false}),
                         RowName());

TEST(ProjectPrompt, APromptNoKeyAnswersFailsAtOnce) {
  BootConsole();
  std::vector<uint8_t> ec = NameBuffer("ABC$"), image = NameBuffer("XYZ$");
  EXPECT_THROW((void)CheckImageProject(ec.data(), image.data(), gOptionState.ForceUpdate != 0), std::runtime_error);
  EXPECT_TRUE(sim::TheMachine().KeysExhausted);
}

TEST(ProjectPrompt, WakeUpWithoutAKeyWaitsAgain) {
  sim::MachineConfig config;
  config.Keys = {InputKey{0, u'y'}};
  config.Fault.ReadKeyFailsFirst = 2;
  sim::Boot(config);
  ResetOptionState();
  ConSetAttribute(kAttrNormal);
  std::vector<uint8_t> ec = NameBuffer("ABC$"), image = NameBuffer("XYZ$");
  EXPECT_TRUE(CheckImageProject(ec.data(), image.data(), gOptionState.ForceUpdate != 0));
  EXPECT_EQ(sim::TheMachine().KeyWaits, 3u);
}

TEST(ProjectPrompt, ForceUpdateSkipsItWithoutAWord) {
  BootConsole();
  gOptionState.ForceUpdate = 1;
  std::vector<uint8_t> ec = NameBuffer("ABC$"), image = NameBuffer("XYZ$");
  EXPECT_TRUE(CheckImageProject(ec.data(), image.data(), gOptionState.ForceUpdate != 0));
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "");
  EXPECT_EQ(sim::TheMachine().KeyWaits, 0u);
}

}  // namespace

namespace {

// In a whole run the checksum is that of the file as loaded: /ad rewrites the
// autoload bytes only after the identity lines.
TEST(ImageIdentityRun, ChecksumIsTakenBeforeTheAutoloadPatch) {
  testing_support::TempDir volume;
  const std::vector<uint8_t> file = testing_support::SampleImage(4096);
  volume.Write("EC.BIN", file);
  sim::MachineConfig config;
  config.Volumes = {volume.Path()};
  config.Args = {u"EC.BIN", u"/ad", u"/p"};
  testing_support::RunMain(config);
  uint16_t sum = 0;
  for (uint8_t b : file) sum = static_cast<uint16_t>(sum + b);
  char line[64];
  std::snprintf(line, sizeof line, "Check Sum: %04X\n", sum);
  const std::string text = console_text::Text();
  EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_NE(text.find("File EC Project: TESTPRJ\nFile EC Version: 1.19.02.03\n"), std::string::npos) << text;
}

}  // namespace
