// Loading the image: the volume search, every failure line with its status,
// and nothing left allocated or open afterwards.
#include <gtest/gtest.h>

#include <optional>

#include <functional>
#include <string>
#include <vector>

#include "image/loader.h"
#include "sim/machine.h"
#include "tests/console_text.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempDir;

std::vector<uint8_t> Bytes(size_t size, uint8_t seed) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; i++) out[i] = static_cast<uint8_t>(seed + i * 7);
  return out;
}

struct Loaded {
  EfiStatus Status;
  std::vector<uint8_t> Data;
  bool DataNull;
  uint64_t Length;
  std::string Console;
  sim::Audit Audit;
};

// Loads path on a booted machine, frees what was handed over and audits.
Loaded Load(const sim::MachineConfig& config, const Char16* path, uint64_t maxLength = UINT64_MAX) {
  sim::Boot(config);
  ImageBuffer image{reinterpret_cast<uint8_t*>(1), 12345};
  Loaded out;
  out.Status = LoadImageFile(path, maxLength, &image);
  out.DataNull = image.Data == nullptr;
  out.Length = image.Length;
  if (image.Data != nullptr && out.Status == kEfiSuccess) {
    out.Data.assign(image.Data, image.Data + image.Length);
    PoolFree(image.Data);
  }
  out.Console = console_text::Text(0, console_text::kWithMarks);
  out.Audit = sim::TakeAudit();
  return out;
}

std::string Leftovers(const sim::Audit& audit) {
  std::string out;
  for (const std::string& line : audit.Details) out += line + "\n";
  return out;
}

// The image comes from the first volume in firmware order that opens and
// holds the file, whatever the current directory; the others are skipped silently.
TEST(ImageLoader, TheFirstVolumeThatOpensAndHoldsTheFileGivesIt) {
  struct Case {
    const char* What;
    std::vector<const char*> Files;  // per volume: the file it holds (nullptr: none)
    std::vector<int> RootFails;
    const char16_t* Current;
    const char16_t* Path;
    size_t From;
  } cases[] = {
      {"first wins over the current FS1", {"EC.BIN", "EC.BIN"}, {}, u"FS1:\\", u"\\EC.BIN", 0},
      {"missing on the first", {nullptr, "EC.BIN"}, {}, u"FS0:", u"\\EC.BIN", 1},
      {"root of FS0 fails, FS1 lacks it", {"SUB/EC.BIN", nullptr, "SUB/EC.BIN"}, {0}, u"FS0:", u"\\SUB\\EC.BIN", 2},
  };
  for (const Case& c : cases) {
    std::vector<TempDir> volumes(c.Files.size());
    sim::MachineConfig config;
    for (size_t i = 0; i < volumes.size(); i++) {
      if (c.Files[i] != nullptr) volumes[i].Write(c.Files[i], Bytes(100 * (i + 1), static_cast<uint8_t>(i + 1)));
      config.Volumes.push_back(volumes[i].Path());
    }
    config.CurrentDirectory = c.Current;
    config.Fault.OpenVolumeFails = c.RootFails;
    Loaded got = Load(config, c.Path);
    EXPECT_EQ(got.Status, kEfiSuccess) << c.What;
    EXPECT_EQ(got.Data, Bytes(100 * (c.From + 1), static_cast<uint8_t>(c.From + 1))) << c.What;
    EXPECT_EQ(got.Length, 100 * (c.From + 1)) << c.What;
    EXPECT_EQ(got.Console, "") << c.What;
    EXPECT_TRUE(got.Audit.Clean()) << c.What << Leftovers(got.Audit);
  }
}

TEST(ImageLoader, NoVolumeAtAllReturnsTheEnumerationStatusAndPrintsNothing) {
  sim::MachineConfig config;
  config.Volumes = {};
  config.Fault.NoFileSystem = true;
  Loaded got = Load(config, u"\\EC.BIN");
  EXPECT_TRUE(EfiIsError(got.Status));
  EXPECT_EQ(got.Console, "");
  EXPECT_TRUE(got.DataNull);
  EXPECT_EQ(got.Length, 0u);
  EXPECT_TRUE(got.Audit.Clean()) << Leftovers(got.Audit);
}

TEST(ImageLoader, EnumerationStatusComesBackUnchanged) {
  TempDir fs0;
  fs0.Write("EC.BIN", Bytes(10, 5));
  sim::MachineConfig config;
  config.Volumes = {fs0.Path()};
  config.Fault.LocateHandlesStatus = kEfiOutOfResources;
  Loaded got = Load(config, u"\\EC.BIN");
  EXPECT_EQ(got.Status, kEfiOutOfResources);
  EXPECT_EQ(got.Console, "");
}

TEST(ImageLoader, ZeroLengthFileHandsOverNoBufferWithSuccess) {
  TempDir fs0;
  fs0.Write("EMPTY.BIN", std::string());
  sim::MachineConfig config;
  config.Volumes = {fs0.Path()};
  Loaded got = Load(config, u"\\EMPTY.BIN");
  EXPECT_EQ(got.Status, kEfiSuccess);
  EXPECT_TRUE(got.DataNull);
  EXPECT_EQ(got.Length, 0u);
  EXPECT_EQ(got.Console, "");
  EXPECT_TRUE(got.Audit.Clean()) << Leftovers(got.Audit);
}

// A Read may deliver less than asked: the loader reads on until the file's
// size is in. A file that delivers nothing more before that is not an image.
TEST(ImageLoader, ShortReadsAreReadOnAndAShortFileIsNoImage) {
  struct Case {
    const char* Name;
    std::optional<size_t> ReadShort;
    std::optional<uint64_t> StopAt;
    bool Whole;
  } cases[] = {
      {"100 bytes a Read", 100, std::nullopt, true},
      {"1 byte a Read", 1, std::nullopt, true},
      {"stops at 600", std::nullopt, 600, false},
      {"100 a Read, stops at 999", 100, 999, false},
      {"nothing at all", std::nullopt, 0, false},
  };
  const std::vector<uint8_t> whole = Bytes(1000, 6);
  for (const Case& c : cases) {
    TempDir fs0;
    fs0.Write("EC.BIN", whole);
    sim::MachineConfig config;
    config.Volumes = {fs0.Path()};
    config.Fault.ReadShortBytes = c.ReadShort;
    config.Fault.ReadStopAt = c.StopAt;
    Loaded got = Load(config, u"\\EC.BIN");
    EXPECT_EQ(got.Status, kEfiSuccess) << c.Name;
    EXPECT_EQ(got.Console, "") << c.Name;
    EXPECT_EQ(got.Data, c.Whole ? whole : std::vector<uint8_t>()) << c.Name;
    EXPECT_EQ(got.DataNull, !c.Whole) << c.Name;
    EXPECT_TRUE(got.Audit.Clean()) << c.Name << Leftovers(got.Audit);
  }
}

TEST(ImageLoader, MissingPathWithPercentIsPrintedLiterally) {
  TempDir fs0, fs1;
  sim::MachineConfig config;
  config.Volumes = {fs0.Path(), fs1.Path()};
  Loaded got = Load(config, u"\\EC%d%s.BIN");
  EXPECT_EQ(got.Status, kEfiNotFound);
  EXPECT_EQ(got.Console, "Can not open the input file:\\EC%d%s.BIN\n\r");
  // Three raw pieces: text, path, ending.
  const auto& calls = sim::TheMachine().Screen.Calls;
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].Text, u"\\EC%d%s.BIN");
  EXPECT_TRUE(got.Audit.Clean()) << Leftovers(got.Audit);
}

struct FailureCase {
  const char* Name;
  std::function<void(sim::Faults&)> Inject;
  size_t FileSize;
  std::string Text;
  std::string Ending;
  EfiStatus Status;
};

class ImageLoaderFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ImageLoaderFailures, PrintsItsLineAndReturnsItsStatus) {
  const FailureCase& c = GetParam();
  TempDir fs0;
  fs0.Write("EC 50%.BIN", Bytes(c.FileSize, 9));
  sim::MachineConfig config;
  config.Volumes = {fs0.Path()};
  c.Inject(config.Fault);
  Loaded got = Load(config, u"\\EC 50%.BIN");
  EXPECT_EQ(got.Status, c.Status);
  EXPECT_EQ(got.Console, c.Text + "\\EC 50%.BIN" + c.Ending);
  EXPECT_TRUE(got.DataNull);
  EXPECT_EQ(got.Length, 0u);
  EXPECT_TRUE(got.Audit.Clean()) << Leftovers(got.Audit);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ImageLoaderFailures,
    ::testing::Values(
        FailureCase{"OpenFails", [](sim::Faults& f) { f.OpenFails[u"\\EC 50%.BIN"] = kEfiAccessDenied; }, 100,
                    "Can not open the input file:", "\n\r", kEfiNotFound},
        FailureCase{"SizeQueryFails", [](sim::Faults& f) { f.GetInfoFailCall = 1; }, 100,
                    "Can not obtain file size info for input file: ", "\n\r", kEfiDeviceError},
        FailureCase{"SizeRecordTooSmall", [](sim::Faults& f) { f.GetInfoRecordSize = 40; }, 100,
                    "Can not obtain file size info for input file: ", "\n\r", kEfiDeviceError},
        FailureCase{"InfoBufferRefused",
                    [](sim::Faults& f) {
                      f.GetInfoRecordSize = 4096;
                      f.AllocFailMinSize = 4096;
                    },
                    100, "Can not allocate enough memory for input file: ", ".\n\r", kEfiOutOfResources},
        FailureCase{"InfoReadFails", [](sim::Faults& f) { f.GetInfoFailCall = 2; }, 100,
                    "Can not obtain file data for input file: ", ".\n\r", kEfiDeviceError},
        FailureCase{"DataBufferRefused", [](sim::Faults& f) { f.AllocFailMinSize = 65536; }, 65536,
                    "Can not allocate a buffer for input file: ", ".\n\r", kEfiOutOfResources},
        // Only the low 32 bits would ask for 16 bytes; the whole size cannot be had.
        FailureCase{"SizeBeyondFourGigabytes",
                    [](sim::Faults& f) {
                      f.GetInfoFileSize = (uint64_t{1} << 32) + 16;
                      f.AllocFailMinSize = uint64_t{1} << 32;
                    },
                    16, "Can not allocate a buffer for input file: ", ".\n\r", kEfiOutOfResources},
        FailureCase{"ReadFails", [](sim::Faults& f) { f.ReadFailCall = 1; }, 100,
                    "Can not read the input file: ", ".\n\r", kEfiDeviceError},
        FailureCase{"CloseFails", [](sim::Faults& f) { f.CloseFailPath = u"\\EC 50%.BIN"; }, 100,
                    "Can not close the file input file: ", ".\n\r", kEfiDeviceError}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.Name; });

// A file past the limit is refused by its size: not a byte is read (a file
// of gigabytes costs nothing), and its size is handed over for the message.
TEST(ImageLoader, AFileLargerThanTheLimitIsNeverRead) {
  TempDir fs0;
  fs0.Write("EC.BIN", Bytes(100, 1));
  sim::MachineConfig config;
  config.Volumes = {fs0.Path()};
  config.Fault.GetInfoFileSize = uint64_t{3} << 30;
  config.Fault.ReadFailCall = 1;  // any Read would fail the load
  Loaded got = Load(config, u"\\EC.BIN", 262144);
  EXPECT_EQ(got.Status, kEfiSuccess);
  EXPECT_TRUE(got.DataNull);
  EXPECT_EQ(got.Length, uint64_t{3} << 30);
  EXPECT_EQ(got.Console, "");
  EXPECT_TRUE(got.Audit.Clean()) << Leftovers(got.Audit);
}

TEST(ImageLoader, DirectoryIsNotAnImage) {
  TempDir fs0;
  fs0.MakeDir("EC.BIN");
  sim::MachineConfig config;
  config.Volumes = {fs0.Path()};
  Loaded got = Load(config, u"\\EC.BIN");
  EXPECT_EQ(got.Status, kEfiNotFound);
  EXPECT_EQ(got.Console, "Can not open the input file:\\EC.BIN\n\r");
  EXPECT_TRUE(got.DataNull);
  EXPECT_TRUE(got.Audit.Clean()) << Leftovers(got.Audit);
}

TEST(ImageLoader, TextAttributeIsLeftAlone) {
  TempDir fs0;
  sim::MachineConfig config;
  config.Volumes = {fs0.Path()};
  sim::Boot(config);
  ConSetAttribute(kAttrNormal);
  ImageBuffer image{nullptr, 0};
  EXPECT_EQ(LoadImageFile(u"\\NONE.BIN", UINT64_MAX, &image), kEfiNotFound);
  EXPECT_EQ(console_text::Text(0, console_text::kWithMarks), "{0F}Can not open the input file:\\NONE.BIN\n\r");
}

}  // namespace
