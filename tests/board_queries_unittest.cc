// The size probe, the AC check and the EC identity lines, against the EC
// model: the bytes on the ports and the coloured console text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/option_state.h"
#include "app/options.h"
#include "ec/board_queries.h"
#include "ec/ec_channel.h"
#include "sim/machine.h"
#include "tests/console_text.h"

namespace {

void SetReply(uint8_t* field, uint8_t* length, const std::string& bytes) {
  std::memcpy(field, bytes.data(), bytes.size());
  *length = static_cast<uint8_t>(bytes.size());
}

// Boots the machine and leaves the record as the main sequence does before
// the queries: zeroed, port set 1, normal text.
void BootWith(const sim::MachineConfig& config) {
  sim::Boot(config);
  ResetOptionState();
  SelectEcPorts(1);
  ConSetAttribute(kAttrNormal);
}

struct PortWrite {
  uint16_t Port;
  uint8_t Value;
  bool operator==(const PortWrite& o) const { return Port == o.Port && Value == o.Value; }
};

std::vector<PortWrite> WritesSince(size_t mark) {
  std::vector<PortWrite> out;
  const auto& trace = sim::TheMachine().Trace;
  for (size_t i = mark; i < trace.size(); i++)
    if (trace[i].Write) out.push_back({trace[i].Port, trace[i].Value});
  return out;
}

size_t ReadsOf(uint16_t port, size_t from, size_t to) {
  size_t n = 0;
  const auto& trace = sim::TheMachine().Trace;
  for (size_t i = from; i < to && i < trace.size(); i++)
    if (!trace[i].Write && trace[i].Port == port) n++;
  return n;
}

size_t IndexOfWrite(uint16_t port, uint8_t value) {
  const auto& trace = sim::TheMachine().Trace;
  for (size_t i = 0; i < trace.size(); i++)
    if (trace[i].Write && trace[i].Port == port && trace[i].Value == value) return i;
  return trace.size();
}

struct ProbeCase {
  uint8_t Reply;
  int8_t Blocks;
};

// A row name such as Reply4F: the prefix, then the bytes in hex.
std::string HexName(const char* prefix, const std::vector<uint8_t>& bytes) {
  std::string name = prefix;
  for (uint8_t b : bytes) name += "0123456789ABCDEF"[b >> 4], name += "0123456789ABCDEF"[b & 15];
  return name;
}

class ProbeFlashSizeTable : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeFlashSizeTable, HighNibbleOfTheMailboxReplyGivesTheBlockCount) {
  sim::MachineConfig config;
  config.Ec.SizeReply = GetParam().Reply;
  BootWith(config);
  ProbeFlashSize();
  EXPECT_EQ(gEcBoard.BlockCount, GetParam().Blocks);
  const std::vector<PortWrite> want = {
      {0x66, 0x81}, {0x62, 0xF9}, {0x62, 0x20}, {0x66, 0x81}, {0x62, 0xFA}, {0x62, 0x02},
      {0x66, 0x81}, {0x62, 0xFB}, {0x62, 0x00}, {0x66, 0x81}, {0x62, 0xF8}, {0x62, 0xB1},
      {0x66, 0x80}, {0x62, 0xF9}};
  EXPECT_TRUE(WritesSince(0) == want);
  EXPECT_FALSE(sim::TheMachine().Trace.back().Write);
  EXPECT_EQ(sim::TheMachine().Trace.back().Port, 0x62) << "the reply is read at once from the data port";
}

INSTANTIATE_TEST_SUITE_P(Replies, ProbeFlashSizeTable,
                         ::testing::Values(ProbeCase{0x4F, 3}, ProbeCase{0x85, 4}, ProbeCase{0x20, 1},
                                           ProbeCase{0xFF, 1}, ProbeCase{0x00, 1}, ProbeCase{0x40, 3}),
                         [](const auto& row) { return HexName("Reply", {row.param.Reply}); });

TEST(BoardQueries, FlashSizeOptionOverridesTheProbe) {
  sim::MachineConfig config;
  config.Ec.SizeReply = 0x85;
  BootWith(config);
  ProbeFlashSize();
  ASSERT_EQ(gEcBoard.BlockCount, 4);
  Char16 name[] = u"tarnwick", image[] = u"EC.BIN", option[] = u"/f2";
  Char16* argv[] = {name, image, option, nullptr};
  ASSERT_TRUE(ParseOptions(3, argv));
  EXPECT_EQ(gEcBoard.BlockCount, 2);
}

struct AcCase {
  std::vector<uint8_t> Readings;
  bool Present;
};

class CheckAcAdapterTable : public ::testing::TestWithParam<AcCase> {};

TEST_P(CheckAcAdapterTable, OnlyTheSecondReadingDecides) {
  sim::MachineConfig config;
  const auto& readings = GetParam().Readings;
  std::memcpy(config.Ec.AcReadings, readings.data(), readings.size());
  config.Ec.AcReadingsLength = static_cast<uint8_t>(readings.size());
  BootWith(config);
  EXPECT_EQ(CheckAcAdapter(), GetParam().Present);
  const auto& trace = sim::TheMachine().Trace;
  ASSERT_GE(trace.size(), 2u);
  EXPECT_FALSE(trace[0].Write);
  EXPECT_EQ(trace[0].Port, 0x62);
  EXPECT_FALSE(trace[1].Write);
  EXPECT_EQ(trace[1].Port, 0x66);
  const std::vector<PortWrite> want = {{0x66, 0x80}, {0x62, 0x10}, {0x66, 0x80}, {0x62, 0x10}};
  EXPECT_TRUE(WritesSince(0) == want);
}

INSTANTIATE_TEST_SUITE_P(Readings, CheckAcAdapterTable,
                         ::testing::Values(AcCase{{0x01, 0x00}, false}, AcCase{{0x00, 0x01}, true},
                                           AcCase{{0x00, 0x00}, false}, AcCase{{0xFE, 0xFF}, true},
                                           AcCase{{0x01, 0x02}, false}),
                         [](const auto& row) { return HexName("Readings", row.param.Readings); });

TEST(BoardQueries, SkipAcCheckStillReadsTheAdapterTwiceAndGoesOn) {
  sim::MachineConfig config;
  config.Ec.AcReadings[0] = 0x00;
  config.Ec.AcReadingsLength = 1;
  config.Args = {u"MISSING.BIN", u"/k"};
  sim::Boot(config);
  sim::RunTarnwick();
  const std::string text = sim::TheMachine().Screen.PlainUtf8();
  EXPECT_EQ(text.find("Not found the AC adapter"), std::string::npos);
  EXPECT_NE(text.find("M/B  EC Project: "), std::string::npos) << "the run went on past the check";
  const std::vector<PortWrite> writes = WritesSince(0);
  size_t adapterReads = 0;
  for (size_t i = 0; i + 1 < writes.size(); i++)
    if (writes[i] == PortWrite{0x66, 0x80} && writes[i + 1] == PortWrite{0x62, 0x10}) adapterReads++;
  EXPECT_EQ(adapterReads, 2u);
}

TEST(BoardQueries, ProjectLineInItsColours) {
  BootWith(sim::MachineConfig());  // the EC answers "TESTPRJ$"
  uint8_t buffer[kNameBufferSize] = {};
  ShowEcProject(buffer);
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Project: {3F}TESTPRJ\n{0F}");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), "TESTPRJ$");
}

TEST(BoardQueries, VersionLineShowsOnePointInFront) {
  sim::MachineConfig config;
  SetReply(config.Ec.Version, &config.Ec.VersionLength, "05.02$");
  BootWith(config);
  uint8_t buffer[kNameBufferSize] = {};
  ShowEcVersion(buffer);
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Version: {5F}1.05.02\n{0F}");
  EXPECT_NE(IndexOfWrite(0x66, 0x93), sim::TheMachine().Trace.size());
}

TEST(BoardQueries, ReplyOfADollarOnlyChangesOneByte) {
  sim::MachineConfig config;
  SetReply(config.Ec.Project, &config.Ec.ProjectLength, "$");
  SetReply(config.Ec.Version, &config.Ec.VersionLength, "$");
  BootWith(config);
  uint8_t project[kNameBufferSize];
  std::memset(project, 0xAA, sizeof project);
  ShowEcProject(project);
  EXPECT_EQ(project[0], '$');
  for (unsigned i = 1; i < kNameBufferSize; i++) EXPECT_EQ(project[i], 0xAA) << i;
  uint8_t version[kNameBufferSize] = {};
  ShowEcVersion(version);
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Project: {3F}\n{0F}M/B  EC Version: {5F}1.\n{0F}");
}

TEST(BoardQueries, ReplyWithoutDollarIsCutAtSixteenBytes) {
  sim::MachineConfig config;
  SetReply(config.Ec.Project, &config.Ec.ProjectLength, "ABCDEFGHIJKLMNOPQRST");
  BootWith(config);
  uint8_t buffer[kNameBufferSize] = {};
  ShowEcProject(buffer);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 16), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Project: {3F}ABCDEFGHIJKLMNOP\n{0F}");
  const size_t query = IndexOfWrite(0x66, 0x92);
  EXPECT_EQ(ReadsOf(0x62, query, sim::TheMachine().Trace.size()), 16u) << "nothing more is read";
}

TEST(BoardQueries, HighBytesShowAsTheSameCodePointAndNulShowsNothing) {
  sim::MachineConfig config;
  SetReply(config.Ec.Project, &config.Ec.ProjectLength, std::string("\xE9" "A\0B\x80$", 6));
  BootWith(config);
  uint8_t buffer[kNameBufferSize] = {};
  ShowEcProject(buffer);
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Project: {3F}\xC3\xA9" "AB\xC2\x80\n{0F}");
}

TEST(BoardQueries, ScratchReadTakesUpAStaleByte) {
  sim::MachineConfig config;
  // An EC RAM write makes the EC queue a stray byte that nobody reads.
  config.Ec.StaleBytes[0] = 'Z';
  config.Ec.StaleLength = 1;
  config.Ec.StaleBeforeCommand = 0x81;
  BootWith(config);
  EcRamWrite(0x50, 0x00);
  uint8_t buffer[kNameBufferSize] = {};
  ShowEcProject(buffer);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), "TESTPRJ$");
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Project: {3F}TESTPRJ\n{0F}");
}

TEST(BoardQueries, NoEcAnsweringGivesOneBlockAdapterAndSixteenFFs) {
  sim::MachineConfig config;
  config.Ec.Present = false;
  config.TraceEnabled = false;
  BootWith(config);
  ProbeFlashSize();
  EXPECT_EQ(gEcBoard.BlockCount, 1);
  EXPECT_TRUE(CheckAcAdapter());
  uint8_t buffer[kNameBufferSize] = {};
  ShowEcProject(buffer);
  for (uint8_t b : buffer) EXPECT_EQ(b, 0xFF);
  std::string shown;
  for (int i = 0; i < 16; i++) shown += "\xC3\xBF";
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Project: {3F}" + shown + "\n{0F}");
}

TEST(BoardQueries, PortsZeroMoveTheQueriesButNotTheProbeOrTheAdapter) {
  sim::MachineConfig config;
  config.Ec.CommandPortSet = 0;
  BootWith(config);
  ProbeFlashSize();
  Char16 name[] = u"tarnwick", image[] = u"EC.BIN", option[] = u"/o0";
  Char16* argv[] = {name, image, option, nullptr};
  ASSERT_TRUE(ParseOptions(3, argv));
  const size_t afterParse = sim::TheMachine().Trace.size();
  EXPECT_TRUE(CheckAcAdapter());
  const size_t afterAc = sim::TheMachine().Trace.size();
  uint8_t project[kNameBufferSize] = {};
  uint8_t version[kNameBufferSize] = {};
  ShowEcProject(project);
  ShowEcVersion(version);
  const auto& trace = sim::TheMachine().Trace;
  for (size_t i = 0; i < afterAc; i++) {
    EXPECT_TRUE(trace[i].Port == 0x66 || trace[i].Port == 0x62) << "probe and adapter stay on the fixed ports";
  }
  for (size_t i = afterAc; i < trace.size(); i++) {
    EXPECT_TRUE(trace[i].Port == 0x64 || trace[i].Port == 0x60) << "queries go to the selected set";
  }
  EXPECT_GT(afterParse, 0u);
  EXPECT_EQ(console_text::Text(1, console_text::kWithMarks), "M/B  EC Project: {3F}TESTPRJ\n{0F}M/B  EC Version: {5F}1.01.00\n{0F}");
}

}  // namespace
