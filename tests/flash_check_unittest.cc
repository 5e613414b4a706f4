// Blank check and verify: the marks for bad bytes at the edges of sectors and
// blocks, the reserved tail of /g, the drain, and EC faults that must not
// hang the run.
#include <gtest/gtest.h>

#include "ec/ec_channel.h"
#include "flash/check.h"
#include "flash/erase.h"
#include "flash/program.h"
#include "flash/stream_guard.h"
#include "tests/flash_test_support.h"
#include "tests/console_text.h"

namespace {

using flash_test::BlockLine;
using flash_test::BootInFlashMode;
using flash_test::Buffer;
using flash_test::Pattern;
using flash_test::Repeat;
using flash_test::Segments;

const std::string kGood = "+\b*";  // "+" while the sector is read, "*" over it
const std::string kBad = "+-";

std::string GoodBlank(int block) { return BlockLine(block, Repeat(kGood, 64)); }

TEST(FlashBlankCheck, AnErasedFlashIsBlank) {
  BootInFlashMode(flash_test::EcConfig(3), 3);
  EXPECT_TRUE(FlashBlankCheck(false));
  EXPECT_EQ(console_text::Text(), "Blank Check ==============>" + GoodBlank(0) + GoodBlank(1) + GoodBlank(2) +
                           "\n Blank Check success\n");
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 3u);
  for (size_t b = 0; b < 3; b++) {
    EXPECT_EQ(wire[b].Command, (std::vector<uint8_t>{0x03, uint8_t(b)}));
    EXPECT_EQ(wire[b].Reads, b < 2 ? 65536u : 65536u + 1);  // the drain's one read after the last block
  }
  EXPECT_EQ(wire[2].StatusReads, 65536u + kEcReadPollReads);
}

TEST(FlashBlankCheck, BytesNobodyReadBeforeItAreDiscardedNotJudged) {
  // A 192 KB part held to 128 KB by the ROM-size rule answers its chip erase
  // with 0xF8 that the timed wait never reads, and its fourth ID byte is not
  // shown: neither may shift the block reads.
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Flash = Pattern(3 * 65536);
  BootInFlashMode(config, 2);
  ShowFlashPartId(131072);
  (void)FlashChipErase(FlashEraseJudge::DeadRun);
  sim::TheMachine().Trace.clear();
  EXPECT_TRUE(FlashBlankCheck(false));
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 3u);
  EXPECT_EQ(wire[0].Reads, 2u);  // 0x00 (ID) and 0xF8
  // Without waiting: one status read per byte, one that finds nothing, then 0x03's handshake.
  size_t before = 0;
  for (const sim::PortAccess& a : sim::TheMachine().Trace) {
    if (a.Write) break;
    before++;
  }
  EXPECT_EQ(before, 3u + 2u + 1u);
  EXPECT_EQ(wire[1].Command, (std::vector<uint8_t>{0x03, 0x00}));
}

// Where a bad byte shows: the mark printed before a sector's fourth page
// covers the four pages read since the previous mark.
TEST(FlashBlankCheck, MarksShowTheSectorWhereTheBadByteWasRead) {
  struct Case {
    const char* Name;
    uint32_t Address;
    std::vector<std::string> Lines;
  } cases[] = {
      {"page 5 of block 1", 0x10000 + 5 * 256 + 17,
       {Repeat(kGood, 64) + "   Fine", kGood + kBad + Repeat(kGood, 62) + "   Bad", Repeat(kGood, 64) + "   Fine"}},
      {"page 3 of block 0", 3 * 256,
       {kGood + kBad + Repeat(kGood, 62) + "   Bad", Repeat(kGood, 64) + "   Fine", Repeat(kGood, 64) + "   Fine"}},
      {"page 255 of block 0", 255 * 256 + 255,  // counts toward block 1's first mark
       {Repeat(kGood, 64) + "   Bad", kBad + Repeat(kGood, 63) + "   Fine", Repeat(kGood, 64) + "   Fine"}},
      {"page 255 of the last block", 0x20000 + 255 * 256,  // counts toward no mark
       {Repeat(kGood, 64) + "   Fine", Repeat(kGood, 64) + "   Fine", Repeat(kGood, 64) + "   Bad"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    sim::MachineConfig config = flash_test::EcConfig(3);
    config.Flash.assign(3 * 65536, 0xFF);
    config.Flash[c.Address] = 0x00;
    BootInFlashMode(config, 3);
    EXPECT_FALSE(FlashBlankCheck(false));
    std::string want = "Blank Check ==============>";
    for (size_t b = 0; b < 3; b++) want += "\nBlock" + std::to_string(b) + ": " + c.Lines[b];
    EXPECT_EQ(console_text::Text(), want + "\n Blank Check fail\n");
  }
}

TEST(FlashBlankCheck, KeepReservedReadsButNeverJudgesWhatWasNotErased) {
  // The reserved tail (0x2F800 on) holds G-sensor data, and on a 4-block EC
  // all of block 3 was left alone too.
  const std::string blankTail = Repeat(kGood, 62) + "  " + "   Fine";
  struct Case {
    int8_t Blocks;
    bool KeepReserved;
    bool Want;
    std::vector<std::string> Lines;
  } cases[] = {
      {3, true, true, {Repeat(kGood, 64) + "   Fine", Repeat(kGood, 64) + "   Fine", blankTail}},
      {4, true, true,
       {Repeat(kGood, 64) + "   Fine", Repeat(kGood, 64) + "   Fine", blankTail, std::string(64, ' ') + "   Fine"}},
      {3, false, false,
       {Repeat(kGood, 64) + "   Fine", Repeat(kGood, 64) + "   Fine", Repeat(kGood, 62) + kBad + kBad + "   Bad"}},
      {2, true, true, {Repeat(kGood, 64) + "   Fine", Repeat(kGood, 64) + "   Fine"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Blocks) << " blocks, keep " << c.KeepReserved);
    sim::MachineConfig config = flash_test::EcConfig(4);
    config.Flash = Pattern(4 * 65536);
    std::fill(config.Flash.begin(), config.Flash.begin() + kKeepReservedLength, 0xFF);
    BootInFlashMode(config, c.Blocks);
    EXPECT_EQ(FlashBlankCheck(c.KeepReserved), c.Want);
    std::string want = "Blank Check ==============>";
    for (size_t b = 0; b < c.Lines.size(); b++) want += "\nBlock" + std::to_string(b) + ": " + c.Lines[b];
    EXPECT_EQ(console_text::Text(), want + (c.Want ? "\n Blank Check success\n" : "\n Blank Check fail\n"));
    EXPECT_EQ(Segments().size(), size_t(c.Blocks));
  }
}

TEST(FlashVerify, ReadsBackTheLengthAndDrainsTheRestOfTheLastBlock) {
  std::vector<uint8_t> image = Pattern(65537);
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Flash = image;
  BootInFlashMode(config, 3);
  ImageBuffer buffer = Buffer(image);
  EXPECT_TRUE(FlashVerify(buffer, image.size()));
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 2u);
  EXPECT_EQ(wire[0].Command, (std::vector<uint8_t>{0x03, 0x00}));
  EXPECT_EQ(wire[0].Reads, 65536u);
  EXPECT_EQ(wire[1].Command, (std::vector<uint8_t>{0x03, 0x01}));
  // One compared byte, 65,535 drained, and the drain's closing read.
  EXPECT_EQ(wire[1].Reads, 1u + 65535u + 1u);
  EXPECT_EQ(sim::EcModelPendingOutput(sim::TheMachine().Ec), 0u);
  EXPECT_EQ(console_text::Text(), "Verify Check =============>" + BlockLine(0, std::string(64, '*')) +
                           BlockLine(1, std::string(64, ' ')) + "\n Verfied success\n");
}

TEST(FlashVerify, AnEmptyLengthOnlyDrains) {
  BootInFlashMode(flash_test::EcConfig(3), 3);
  ImageBuffer buffer{nullptr, 0};
  EXPECT_TRUE(FlashVerify(buffer, 0));
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 1u);
  EXPECT_TRUE(wire[0].Command.empty());
  EXPECT_EQ(wire[0].Reads, 1u);
  EXPECT_EQ(console_text::Text(), "Verify Check =============>\n Verfied success\n");
}

TEST(FlashVerify, AMismatchMarksItsSectorAndBlock) {
  std::vector<uint8_t> image = Pattern(131072);
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Flash = image;
  config.Flash[0x10000 + 5 * 256 + 3] ^= 0x40;
  BootInFlashMode(config, 3);
  ImageBuffer buffer = Buffer(image);
  EXPECT_FALSE(FlashVerify(buffer, image.size()));
  EXPECT_EQ(console_text::Text(), "Verify Check =============>" + BlockLine(0, std::string(64, '*')) +
                           BlockLine(1, "*-" + std::string(62, '*'), "   Bad") + "\n Verfied fail\n");
}

TEST(FlashVerify, TheKeepReservedLengthExpects0xFFPastTheImage) {
  std::vector<uint8_t> image = Pattern(100000);
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Flash = image;
  config.Flash.resize(3 * 65536, 0xFF);
  config.Flash[0x2F800] = 0x12;  // G-sensor data past the length: not compared
  BootInFlashMode(config, 3);
  ImageBuffer buffer = Buffer(image);
  EXPECT_TRUE(FlashVerify(buffer, kKeepReservedLength));
  EXPECT_EQ(console_text::Text(), "Verify Check =============>" + BlockLine(0, std::string(64, '*')) +
                           BlockLine(1, std::string(64, '*')) +
                           BlockLine(2, std::string(62, '*') + "  ") + "\n Verfied success\n");
  // A stray byte where 0xFF was programmed past the image fails the verify.
  config.Flash[0x20000] = 0x00;
  BootInFlashMode(config, 3);
  EXPECT_FALSE(FlashVerify(buffer, kKeepReservedLength));
}

TEST(FlashVerify, AMatchingByteThatCameTooLateFails) {
  // OBF never rises: every byte is still in the data port and matches, yet
  // none came in time. After 16 in a row the rest of the block is skipped.
  std::vector<uint8_t> image = Pattern(2048);
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Flash = image;
  config.Ec.ObfNeverSet = true;
  BootInFlashMode(config, 3);
  ImageBuffer buffer = Buffer(image);
  EXPECT_FALSE(FlashVerify(buffer, image.size()));
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 1u);
  EXPECT_EQ(wire[0].Reads, kEcTimeoutRunLimit + 1u);  // and the drain's one read
  EXPECT_EQ(wire[0].StatusReads, (kEcTimeoutRunLimit + 1u) * kEcReadPollReads);
  EXPECT_EQ(console_text::Text(), "Verify Check =============>" + BlockLine(0, "--" + std::string(62, ' '), "   Bad") +
                           "\n Verfied fail\n");
}

TEST(FlashDrain, StopsAfterOneBlockOfBytesWhenTheStatusPortReadsAllOnes) {
  sim::MachineConfig config = flash_test::EcConfig(3);
  config.Ec.Present = false;
  sim::Boot(config);
  ResetOptionState();
  SelectEcPorts(1);
  DrainEcOutput();
  EXPECT_EQ(flash_test::CountAccesses(false, flash_test::kDataPort), 65536u);
}

TEST(FlashStreams, AnEcThatDiesMidStreamKeepsEveryOperationBounded) {
  // The EC stops taking bytes after 20,000 writes: programming skips each
  // block's stream after 16 timeouts in a row, and the verify fails.
  std::vector<uint8_t> image = Pattern(4 * 65536);
  sim::MachineConfig config = flash_test::EcConfig(4);
  config.Ec.IbfStuckAfterBytes = 20000;
  config.TraceEnabled = false;
  BootInFlashMode(config, 4);
  ImageBuffer buffer = Buffer(image);
  const uint64_t before = sim::TheMachine().PortOps;
  FlashProgram(buffer, image.size());
  const uint64_t programOps = sim::TheMachine().PortOps - before;
  // Per block at most: 5 command bytes and 16 data bytes each waiting out the
  // bound, plus what went out before the EC died.
  EXPECT_LE(programOps, 4 * (5 + 16) * (kEcSendPollReads + 1) + 2 * 20000);
  EXPECT_FALSE(FlashVerify(buffer, image.size()));
  EXPECT_FALSE(FlashBlankCheck(false));
  const uint64_t all = sim::TheMachine().PortOps - before;
  EXPECT_LE(all, 3 * 4 * (5 + 17) * (kEcSendPollReads + 1) + 2 * 20000);
  EXPECT_NE(console_text::Text().find("\n write success\n"), std::string::npos);
  EXPECT_NE(console_text::Text().find("\n Verfied fail\n"), std::string::npos);
}

}  // namespace
