// Every working EC the tool may meet, as one table: part sizes x image sizes
// that fit x /f x EC timing x whether the part reports its chip erase. Each
// run must verify in its first pass with exit 0, and no run may end 0 unless
// the flash holds the image. This is the space in which the block count of
// the size probe, of /f and of the ROM-size rule can disagree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/machine.h"
#include "tests/console_text.h"
#include "tests/test_support.h"

namespace {

using testing_support::CountOf;
using testing_support::SampleImage;

constexpr uint32_t kBlock = 65536;

struct Timing {
  const char* Name;
  uint32_t EveryByte;  // status reads with IBF set after each write
  uint32_t Command;    // and these more after each command byte
};

const Timing kTimings[] = {{"at once", 0, 0}, {"IBF for 1 read", 1, 0}, {"commands take 2000 reads", 0, 2000}};
const uint64_t kImageSizes[] = {kBlock, 100000, 2 * kBlock, 2 * kBlock + 1, 3 * kBlock, 4 * kBlock};
const char16_t* const kSizeOptions[] = {nullptr, u"/f1", u"/f2", u"/f4", u"/f8"};

std::vector<uint8_t> OldFlash(uint32_t size) {
  std::vector<uint8_t> flash(size);
  for (uint32_t i = 0; i < size; i++) flash[i] = static_cast<uint8_t>((i * 13 + 5) ^ (i >> 9));
  return flash;
}

class UpdateMatrix : public testing::TestWithParam<uint32_t> {};

TEST_P(UpdateMatrix, EveryWorkingEcVerifiesInTheFirstPass) {
  const uint32_t blocks = GetParam();
  int runs = 0;
  for (uint64_t imageSize : kImageSizes) {
    if (imageSize > blocks * kBlock) continue;
    testing_support::TempDir volume;
    const std::vector<uint8_t> image = SampleImage(imageSize, "TESTPRJ", "1.07.00", 5);
    volume.Write("EC.BIN", image);
    for (const char16_t* sizeOption : kSizeOptions) {
      for (const Timing& timing : kTimings) {
        for (bool reportsErase : {true, false}) {
          const std::string row = std::to_string(blocks * 64) + " KB part, image " + std::to_string(imageSize) +
                                  ", " + (sizeOption ? std::string("/f") + char(sizeOption[2]) : "no /f") + ", " +
                                  timing.Name + (reportsErase ? "" : ", no completion byte");
          sim::MachineConfig config;
          config.Ec.FlashSize = blocks * kBlock;
          config.Ec.SizeReply = sim::EcSizeReplyFor(config.Ec.FlashSize);
          config.Ec.IbfBusyReads = timing.EveryByte;
          config.Ec.IbfBusyCommandReads = timing.Command;
          if (!reportsErase) config.Ec.EraseCompletionLength = 0;
          config.Flash = OldFlash(config.Ec.FlashSize);
          config.Volumes = {volume.Path()};
          config.Args = {u"EC.BIN", u"/p"};
          if (sizeOption != nullptr) config.Args.push_back(sizeOption);
          config.TraceEnabled = false;
          sim::Boot(config);
          sim::RunTarnwick();
          runs++;
          const std::vector<uint8_t> flash = sim::FlashContents();
          const bool holdsImage = std::equal(image.begin(), image.end(), flash.begin());
          const std::string text = console_text::Text();
          EXPECT_EQ(sim::TheMachine().ExitCode, 0) << row << "\n" << text;
          EXPECT_TRUE(holdsImage) << row;
          EXPECT_EQ(CountOf(text, "Erase ====================>"), 1u) << row << ": not in the first pass";
          if (sim::TheMachine().ExitCode == 0) EXPECT_TRUE(holdsImage) << row << ": exit 0 without the image";
          if (HasFailure()) return;  // one row's story is enough
        }
      }
    }
  }
  EXPECT_GT(runs, 0);
}

INSTANTIATE_TEST_SUITE_P(Parts, UpdateMatrix, testing::Values(1u, 2u, 3u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& info) {
                           return std::to_string(info.param * 64) + "KB";
                         });

}  // namespace
