// Programming: the wire for every block of the span, the 0xFF fill past the
// length and past the image, the marks, and boot-last programming with the
// first kilobyte written last.
#include <gtest/gtest.h>

#include <algorithm>

#include "flash/program.h"
#include "flash/stream_guard.h"
#include "tests/flash_test_support.h"
#include "tests/console_text.h"

namespace {

using flash_test::BlockLine;
using flash_test::BootInFlashMode;
using flash_test::Buffer;
using flash_test::Pattern;
using flash_test::Segments;

std::string Marks(size_t stars, size_t blanks) { return std::string(stars, '*') + std::string(blanks, ' '); }

// bytes[from, from + count), then 0xFF up to total.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count, size_t total) {
  std::vector<uint8_t> out(bytes.begin() + from, bytes.begin() + from + count);
  out.resize(total, 0xFF);
  return out;
}

std::vector<uint8_t> ProgramCommand(uint8_t block, uint8_t middle = 0x00) {
  return {0x02, 0x00, block, middle, 0x00};
}

TEST(FlashProgram, EveryBlockOfTheSpanGetsItsCommandAnd65536Bytes) {
  struct Case {
    size_t Length;
    std::vector<std::string> Lines;  // marks per block
  } cases[] = {
      {65536, {Marks(64, 0)}},
      {65537, {Marks(64, 0), Marks(0, 64)}},   // block 1: one image byte, first mark blank
      {102400, {Marks(64, 0), Marks(36, 28)}},  // block 1: 36,864 image bytes, 28,672 of 0xFF
      {131073, {Marks(64, 0), Marks(64, 0), Marks(0, 64)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Length);
    std::vector<uint8_t> image = Pattern(c.Length);
    BootInFlashMode(flash_test::EcConfig(3), 3);
    ImageBuffer buffer = Buffer(image);
    FlashProgram(buffer, c.Length);
    std::vector<flash_test::Segment> wire = Segments();
    ASSERT_EQ(wire.size(), c.Lines.size());
    std::string console = "Write data ===============>";
    for (size_t b = 0; b < wire.size(); b++) {
      size_t fromImage = std::min<size_t>(65536, c.Length - b * 65536);
      EXPECT_EQ(wire[b].Command, ProgramCommand(uint8_t(b)));
      EXPECT_EQ(wire[b].Written, Slice(image, b * 65536, fromImage, 65536)) << "block " << b;
      EXPECT_EQ(wire[b].Reads, 0u);
      console += BlockLine(int(b), c.Lines[b]);
    }
    EXPECT_EQ(console_text::Text(), console + "\n write success\n");
    std::vector<uint8_t> flash = sim::FlashContents();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  }
}

TEST(FlashProgram, AnEmptyLengthSendsNothing) {
  std::vector<uint8_t> image = Pattern(16);
  BootInFlashMode(flash_test::EcConfig(3), 3);
  ImageBuffer buffer = Buffer(image);
  FlashProgram(buffer, 0);
  EXPECT_TRUE(sim::TheMachine().Trace.empty());
  EXPECT_EQ(console_text::Text(), "Write data ===============>\n write success\n");
}

TEST(FlashProgram, TheKeepReservedLengthPastAShortImageSends0xFFAndBlankMarks) {
  // /g programs 194,560 bytes whatever the image: the bytes past the image's
  // 100,000 go out as 0xFF, and the last two sectors of block 2 are blank.
  std::vector<uint8_t> image = Pattern(100000);
  BootInFlashMode(flash_test::EcConfig(3), 3);
  ImageBuffer buffer = Buffer(image);
  FlashProgram(buffer, kKeepReservedLength);
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 3u);
  EXPECT_EQ(wire[1].Written, Slice(image, 65536, 100000 - 65536, 65536));
  EXPECT_EQ(wire[2].Written, std::vector<uint8_t>(65536, 0xFF));
  EXPECT_EQ(console_text::Text(), "Write data ===============>" + BlockLine(0, Marks(64, 0)) + BlockLine(1, Marks(64, 0)) +
                           BlockLine(2, Marks(62, 2)) + "\n write success\n");
}

TEST(FlashProgramBootLast, TheFirstKilobyteGoesLastWith0x06) {
  std::vector<uint8_t> image = Pattern(131072);
  BootInFlashMode(flash_test::EcConfig(3), 3);
  ImageBuffer buffer = Buffer(image);
  FlashProgramBootLast(buffer, image.size());
  std::vector<flash_test::Segment> wire = Segments();
  ASSERT_EQ(wire.size(), 3u);
  EXPECT_EQ(wire[0].Command, ProgramCommand(0, 0x04));
  EXPECT_EQ(wire[0].Written, Slice(image, 1024, 64512, 64512));
  EXPECT_EQ(wire[1].Command, ProgramCommand(1));
  EXPECT_EQ(wire[1].Written, Slice(image, 65536, 65536, 65536));
  EXPECT_EQ(wire[2].Command, std::vector<uint8_t>{0x06});
  EXPECT_EQ(wire[2].Written, Slice(image, 0, 1024, 1024));
  EXPECT_EQ(console_text::Text(), "Update data ==============>" + BlockLine(0, Marks(64, 0)) + BlockLine(1, Marks(64, 0)) +
                           "\n write success\n");
  const std::vector<uint8_t> flash = sim::FlashContents();
  EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 131072), image);
  // No address was programmed after the boot sector's last byte.
  const sim::Machine& m = sim::TheMachine();
  uint64_t bootLast = sim::EcModelLastProgrammed(m.Ec, 1023);
  for (uint32_t address : {1024u, 65535u, 65536u, 131071u})
    EXPECT_LT(sim::EcModelLastProgrammed(m.Ec, address), sim::EcModelLastProgrammed(m.Ec, 0)) << address;
  EXPECT_GT(bootLast, sim::EcModelLastProgrammed(m.Ec, 0));
}

TEST(FlashProgramBootLast, ShortImagesFillTheRestOfTheBlockWith0xFF) {
  struct Case {
    size_t Length;
    std::string Marks;
  } cases[] = {
      {2048, Marks(2, 62)},  // block 0 gets the second kilobyte and 63,488 bytes of 0xFF
      {500, Marks(0, 64)},   // shorter than the deferred kilobyte: padded, never read past
      {0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Length);
    std::vector<uint8_t> image = Pattern(c.Length);
    BootInFlashMode(flash_test::EcConfig(3), 3);
    ImageBuffer buffer{c.Length != 0 ? image.data() : nullptr, c.Length};
    FlashProgramBootLast(buffer, c.Length);
    std::vector<flash_test::Segment> wire = Segments();
    if (c.Length == 0) {
      EXPECT_TRUE(wire.empty());
      EXPECT_EQ(console_text::Text(), "Update data ==============>\n write success\n");
      continue;
    }
    ASSERT_EQ(wire.size(), 2u);
    size_t second = c.Length > 1024 ? c.Length - 1024 : 0;
    EXPECT_EQ(wire[0].Command, ProgramCommand(0, 0x04));
    EXPECT_EQ(wire[0].Written, Slice(image, 1024 < c.Length ? 1024 : 0, second, 64512));
    EXPECT_EQ(wire[1].Command, std::vector<uint8_t>{0x06});
    EXPECT_EQ(wire[1].Written, Slice(image, 0, std::min<size_t>(1024, c.Length), 1024));
    EXPECT_EQ(console_text::Text(), "Update data ==============>" + BlockLine(0, c.Marks) + "\n write success\n");
  }
}

}  // namespace

// A block whose stream the guard gave up leaves a hole: the boot kilobyte is
// then not written at all, so the EC cannot boot a half-written image.
TEST(FlashProgramBootLast, NoBootKilobyteAfterAnAbandonedStream) {
  for (uint64_t dieAfter : {uint64_t{5 + 1000}, uint64_t{5 + 64512 + 5 + 1000}}) {
    SCOPED_TRACE(dieAfter);
    std::vector<uint8_t> image = Pattern(131072);
    sim::MachineConfig config = flash_test::EcConfig(2);
    // Two writes enter flash mode; then the EC stops taking bytes in block 0 or 1.
    config.Ec.IbfStuckAfterBytes = 2 + dieAfter;
    BootInFlashMode(config, 2);
    FlashProgramBootLast(Buffer(image), image.size());
    const std::vector<uint8_t> commands = flash_test::CommandBytes();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), uint8_t{0x06}), 0);
    EXPECT_EQ(console_text::Text().substr(console_text::Text().size() - 16), "\n write success\n");
  }
}

// The EC stops taking bytes after 1000 of the block's stream: each of the next
// 16 handshakes times out (its byte is still sent), then the rest of the
// block is skipped, and with it the boot kilobyte.
TEST(FlashProgramBootLast, TheStreamGivesUpAfterSixteenTimeoutsInARow) {
  std::vector<uint8_t> image = Pattern(65536);
  sim::MachineConfig config = flash_test::EcConfig(1);
  config.Ec.IbfStuckAfterBytes = 2 + 5 + 1000;  // flash mode, the program command, 1000 bytes
  BootInFlashMode(config, 1);
  FlashProgramBootLast(Buffer(image), image.size());
  EXPECT_EQ(flash_test::CountAccesses(true, flash_test::kDataPort), 1000u + kEcTimeoutRunLimit);
  EXPECT_EQ(flash_test::CountAccesses(false, flash_test::kDataPort), 0u);
  EXPECT_EQ(kEcTimeoutRunLimit, 16u);
}
