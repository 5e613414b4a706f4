// Flash mode entry, the mode query and the part ID with the ROM-size rule.
#include <gtest/gtest.h>

#include "ec/ec_channel.h"
#include "flash/flash_mode.h"
#include "tests/flash_test_support.h"
#include "tests/console_text.h"

namespace {

using flash_test::BootInFlashMode;
using flash_test::CommandBytes;
using flash_test::Segments;

TEST(FlashMode, EnterSendsPrepareThenEnterWithNothingBetween) {
  sim::MachineConfig config = flash_test::EcConfig(3);
  sim::Boot(config);
  ResetOptionState();
  SelectEcPorts(1);
  (void)EnterFlashMode();
  EXPECT_EQ(CommandBytes(), (std::vector<uint8_t>{0xDE, 0xDC}));
  ExitFlashMode();
  EXPECT_EQ(CommandBytes(), (std::vector<uint8_t>{0xDE, 0xDC, 0xFE}));
  EXPECT_EQ(sim::EventNames(), (std::vector<std::string>{"flash-mode-entered", "flash-mode-left"}));
}

TEST(FlashMode, OnlyAReplyThatCameAndIsNeitherZeroNorAllOnesQualifies) {
  struct Case {
    bool HasReply;
    uint8_t Reply;
    uint8_t SectorEraseBefore;  // the user's /l
    uint8_t WantReply;
    uint8_t WantSectorErase;
  } cases[] = {
      {true, 0x5A, 0, 0x5A, 1}, {true, 0x01, 0, 0x01, 1}, {true, 0x00, 0, 0, 0}, {true, 0xFF, 0, 0, 0},
      {false, 0x5A, 0, 0, 0},   {true, 0x00, 1, 0, 1},    {false, 0, 1, 0, 1},
  };
  for (const Case& c : cases) {
    sim::MachineConfig config = flash_test::EcConfig(3);
    config.Ec.HasModeReply = c.HasReply;
    config.Ec.ModeReply = c.Reply;
    BootInFlashMode(config, 3);
    gEcBoard.FlashModeReply = 0x77;  // a stale value never survives the query
    (void)QueryFlashMode(c.SectorEraseBefore != 0);
    SCOPED_TRACE(testing::Message() << "reply " << int(c.Reply) << " came " << c.HasReply);
    EXPECT_EQ(gEcBoard.FlashModeReply, c.WantReply);
    EXPECT_EQ(gEcBoard.SectorEraseMode, c.WantSectorErase);
    std::vector<flash_test::Segment> wire = Segments();
    ASSERT_EQ(wire.size(), 1u);
    EXPECT_EQ(wire[0].Command, std::vector<uint8_t>{0xF0});
    EXPECT_EQ(wire[0].Reads, 1u);
    // No reply: the read waits out its whole bound.
    EXPECT_EQ(wire[0].StatusReads, c.HasReply ? 1u : size_t{kEcReadPollReads});
    EXPECT_EQ(console_text::Text(), "");
  }
}

TEST(FlashMode, PartIdLengthFollowsTheBlockCountAndTwoBlockImagesMakeA128KRom) {
  struct Case {
    int8_t Blocks;
    uint64_t ImageLength;
    size_t WantIdReads;
    int8_t WantBlocks;
  } cases[] = {
      {1, 0, 3, 1},        {2, 65536, 3, 2},    {3, 65536, 4, 3},     {3, 131073, 4, 3},
      {3, 131072, 4, 2},   {4, 100000, 4, 2},   {1, 70000, 3, 2},     {4, 262144, 4, 4},
  };
  for (const Case& c : cases) {
    sim::MachineConfig config = flash_test::EcConfig(4);
    BootInFlashMode(config, c.Blocks);
    ShowFlashPartId(c.ImageLength);
    SCOPED_TRACE(testing::Message() << "blocks " << int(c.Blocks) << " length " << c.ImageLength);
    EXPECT_EQ(gEcBoard.BlockCount, c.WantBlocks);
    std::vector<flash_test::Segment> wire = Segments();
    ASSERT_EQ(wire.size(), 1u);
    EXPECT_EQ(wire[0].Command, std::vector<uint8_t>{0x04});
    EXPECT_EQ(wire[0].Reads, c.WantIdReads);
    std::string ids = c.WantIdReads == 4 ? "0xef 0x40 0x13 0x00 " : "0xef 0x40 0x13 ";
    EXPECT_EQ(console_text::Text(), "Get Flash Part ID=========>    " + ids + "     Rom Size(" +
                             std::to_string(64 * c.WantBlocks) + ")K\n");
  }
}

}  // namespace
