// Erase operations: the chip erase with its completion byte or timed wait,
// the sector sweep, the 190-sector erase of /g and the single sector of /e.
#include <gtest/gtest.h>

#include "flash/erase.h"
#include "tests/flash_test_support.h"
#include "tests/console_text.h"

namespace {

using flash_test::BlockLine;
using flash_test::BootInFlashMode;
using flash_test::CommandBytes;
using flash_test::Repeat;
using flash_test::Segments;

const std::string kStars(64, '*');

// The sector-erase commands on the wire, each as its three address bytes.
std::vector<std::vector<uint8_t>> SectorCommands() {
  EXPECT_EQ(flash_test::CountAccesses(true, flash_test::kDataPort), 0u);
  EXPECT_EQ(flash_test::CountAccesses(false, flash_test::kDataPort), 0u);
  std::vector<uint8_t> bytes = CommandBytes();
  EXPECT_EQ(bytes.size() % 4, 0u);
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    EXPECT_EQ(bytes[i], 0x05);
    out.push_back(std::vector<uint8_t>(bytes.begin() + i + 1, bytes.begin() + i + 4));
  }
  return out;
}

TEST(FlashErase, ChipEraseWaitsThroughOtherBytesForTheCompletionByte) {
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Flash = flash_test::Pattern(3 * 65536);
  const uint8_t completion[] = {0x01, 0x02, 0xF8};
  std::copy(completion, completion + 3, config.Ec.EraseCompletion);
  config.Ec.EraseCompletionLength = 3;
  BootInFlashMode(config, 3);
  EXPECT_TRUE(FlashChipErase(FlashEraseJudge::DeadRun));
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 1u);
  EXPECT_EQ(wire[0].Command, (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(wire[0].Reads, 3u);  // 0x01, 0x02, then 0xF8
  EXPECT_EQ(console_text::Text(), "Erase ====================>\nErasing:" + kStars + "   Fine\n");
  EXPECT_EQ(sim::FlashContents(), std::vector<uint8_t>(3 * 65536, 0xFF));
  EXPECT_TRUE(sim::TheMachine().Stalls.empty());
}

// Four completion reads: bytes that came without a 0xF8 fail the erase; a
// part that raised OBF for none of them does not report its erase, and gets
// the timed wait of the smaller parts (the blank check judges after it).
TEST(FlashErase, ChipEraseCompletionReadsDecideOnlyWhenTheEcAnswered) {
  const std::string timed = "Erase ====================>\nErasing:" + kStars + "   Fine\n";
  struct Case {
    const char* What;
    std::vector<uint8_t> Completion;
    bool Erased;
    std::string Text;
    size_t Stalls;
  } cases[] = {
      {"four other bytes", {0x01, 0x02, 0x03, 0x04}, false, "Erase ====================>\n\nErase failure\n", 0},
      {"nothing at all", {}, true, timed, 64},
  };
  for (const Case& c : cases) {
    sim::MachineConfig config = flash_test::EcConfig(4);
    std::copy(c.Completion.begin(), c.Completion.end(), config.Ec.EraseCompletion);
    config.Ec.EraseCompletionLength = static_cast<uint8_t>(c.Completion.size());
    BootInFlashMode(config, 4);
    EXPECT_EQ(FlashChipErase(FlashEraseJudge::DeadRun), c.Erased) << c.What;
    std::vector<flash_test::Segment> wire = Segments();
    ASSERT_EQ(wire.size(), 1u) << c.What;
    EXPECT_EQ(wire[0].Reads, 4u) << c.What;
    EXPECT_EQ(console_text::Text(), c.Text) << c.What;
    EXPECT_EQ(sim::TheMachine().Stalls.size(), c.Stalls) << c.What;
  }
}

TEST(FlashErase, ChipEraseOfSmallPartsIsATimedWaitWithoutReads) {
  for (int8_t blocks : {1, 2}) {
    BootInFlashMode(flash_test::EcConfig(2), blocks);
    EXPECT_TRUE(FlashChipErase(FlashEraseJudge::DeadRun));
    std::vector<flash_test::Segment> wire = Segments();
    ASSERT_EQ(wire.size(), 1u);
    EXPECT_EQ(wire[0].Reads, 0u);
    EXPECT_EQ(wire[0].StatusReads, 0u);
    EXPECT_EQ(sim::TheMachine().Stalls, std::vector<uint64_t>(64, 15000));
    EXPECT_EQ(console_text::Text(), "Erase ====================>\nErasing:" + kStars + "   Fine\n");
  }
}

TEST(FlashErase, SweepErasesEverySectorOfEveryBlock) {
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Flash = flash_test::Pattern(3 * 65536);
  BootInFlashMode(config, 3);
  EXPECT_TRUE(FlashSectorEraseAll(FlashEraseJudge::DeadRun));
  std::vector<std::vector<uint8_t>> sectors = SectorCommands();
  ASSERT_EQ(sectors.size(), 192u);
  for (size_t i = 0; i < sectors.size(); i++)
    EXPECT_EQ(sectors[i], (std::vector<uint8_t>{uint8_t(i / 64), uint8_t(4 * (i % 64)), 0x00}));
  const std::vector<uint8_t> bytes = CommandBytes();
  ASSERT_EQ(bytes.size(), 192u * 4);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), (std::vector<uint8_t>{0x05, 0x02, 0xFC, 0x00}));
  EXPECT_EQ(sim::TheMachine().Stalls, std::vector<uint64_t>(192, 1000));
  EXPECT_EQ(console_text::Text(), "Erase  ====================>" + BlockLine(0, kStars, "   Done") +
                           BlockLine(1, kStars, "   Done") + BlockLine(2, kStars, "   Done") +
                           "\n ersse success\n");
  EXPECT_EQ(sim::FlashContents(), std::vector<uint8_t>(3 * 65536, 0xFF));
}

TEST(FlashErase, KeepReservedErasesThe190SectorsBeforeTheGSensorData) {
  for (int8_t blocks : {1, 3, 4}) {
    SCOPED_TRACE(int(blocks));
    sim::MachineConfig config = flash_test::EcConfig(4);
    config.Flash = flash_test::Pattern(4 * 65536);
    BootInFlashMode(config, blocks);
    EXPECT_TRUE(FlashEraseKeepReserved());
    std::vector<std::vector<uint8_t>> sectors = SectorCommands();
    ASSERT_EQ(sectors.size(), 190u);
    EXPECT_EQ(sectors.back(), (std::vector<uint8_t>{0x02, 0xF4, 0x00}));
    for (const std::vector<uint8_t>& s : sectors)
      EXPECT_FALSE(s[0] == 0x02 && (s[1] == 0xF8 || s[1] == 0xFC)) << "reserved sector erased";
    EXPECT_EQ(console_text::Text(), "Erase ====================>" + BlockLine(0, kStars) + BlockLine(1, kStars) +
                             "\nBlock2: " + std::string(62, '*') + "     Fine\n");
    // Everything from the reserved tail on keeps its bytes.
    std::vector<uint8_t> want = flash_test::Pattern(4 * 65536);
    std::fill(want.begin(), want.begin() + 0x2F800, 0xFF);
    EXPECT_EQ(sim::FlashContents(), want);
  }
}

TEST(FlashErase, OneSectorByItsNumberFromOne) {
  struct Case {
    uint32_t Sector;
    std::vector<uint8_t> Address;
    const char* Range;
  } cases[] = {
      {1, {0x00, 0x00, 0x00}, "0x00000000 to 0x000003ff"},
      {5, {0x00, 0x10, 0x00}, "0x00001000 to 0x000013ff"},
      {65, {0x01, 0x00, 0x00}, "0x00010000 to 0x000103ff"},
      {200, {0x03, 0x1C, 0x00}, "0x00031c00 to 0x00031fff"},  // past a one-block ROM: sent all the same
      {16384, {0xFF, 0xFC, 0x00}, "0x00fffc00 to 0x00ffffff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Sector);
    sim::MachineConfig config = flash_test::EcConfig(1);
    config.Flash = flash_test::Pattern(65536);
    BootInFlashMode(config, 1);
    (void)FlashEraseOneSector(c.Sector);
    std::vector<uint8_t> want = {0x05};
    want.insert(want.end(), c.Address.begin(), c.Address.end());
    EXPECT_EQ(CommandBytes(), want);
    EXPECT_EQ(sim::TheMachine().Stalls, std::vector<uint64_t>{1000});
    EXPECT_EQ(console_text::Text(), std::string("Erase ====================>\nErase from ") + c.Range + " :  *     Done\n");
    std::vector<uint8_t> flash = flash_test::Pattern(65536);
    const size_t first = (c.Sector - 1) * 1024;
    if (first < flash.size()) std::fill(flash.begin() + first, flash.begin() + first + 1024, 0xFF);
    EXPECT_EQ(sim::FlashContents(), flash);  // only that kilobyte, and nothing past the flash
  }
}

TEST(FlashErase, ASectorNumberThatWouldWrapToAnotherSectorSendsNothing) {
  for (uint32_t sector : {0u, 16385u, 4194305u}) {
    BootInFlashMode(flash_test::EcConfig(1), 1);
    (void)FlashEraseOneSector(sector);
    EXPECT_TRUE(CommandBytes().empty()) << sector;
  }
}

}  // namespace
