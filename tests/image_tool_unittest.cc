// tarnwick-image as a program: info against what tarnwick itself prints,
// compare like cmp, make's refusals, and --help/--version of every host tool.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <sstream>

#include "sim/machine.h"
#include "sim/sample_image.h"
#include "tests/test_support.h"
#include "tests/console_text.h"

namespace {

using testing_support::TempDir;

using testing_support::RunTool;
using testing_support::ToolRun;

// The lines of text that carry the image's identity as tarnwick shows them.
std::string IdentityLines(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());  // "\n\r" ends some lines
    if (line.rfind("File EC ", 0) == 0 || line.rfind("This file ", 0) == 0) out += line + "\n";
  }
  return out;
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::string Hex(const char* format, unsigned a, unsigned b = 0) {
  char text[128];
  std::snprintf(text, sizeof(text), format, a, b);
  return text;
}

TEST(ImageTool, InfoShowsTheIdentityLinesTarnwickPrints) {
  const std::string noisy(300, 'x');
  const std::vector<std::string> images = {
      Bytes(sim::MakeSampleImage(196608, "TESTPRJ", "1.19.02.03", "2026/12/01", 1)),
      Bytes(sim::MakeSampleImage(65536, "ABCDEFGHIJKLMNOP", "1.0123456789ABCDEF", "2026/12/01 10:00", 2)),
      "PRJ:OTHER$VER:2.5.7$DATE:today$" + noisy,  // no "1.": tarnwick shows what lies after 16 bytes
      noisy + "PRJ:CUTATTHEEND",                   // a tag value cut by the file's end
      noisy,                                       // no tags at all
  };
  for (const std::string& image : images) {
    TempDir volume, scratch;
    volume.Write("EC.BIN", image);
    sim::MachineConfig config;
    config.Volumes = {volume.Path()};
    config.Args = {u"EC.BIN"};
    sim::Boot(config);
    sim::RunTarnwick();  // a project prompt ends the run when no key is left
    const std::string expected = IdentityLines(console_text::Text());
    ASSERT_NE(expected, "");
    ToolRun run = RunTool("tarnwick-image info " + volume.File("EC.BIN"), scratch);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(IdentityLines(run.Out), expected) << run.Out;
  }
}

TEST(ImageTool, InfoWarnsOfWhatTarnwickRefusesOrShowsOddly) {
  struct Case {
    std::string Image, Expected;
  } cases[] = {
      {"", "warning: the file is empty"},
      {Bytes(sim::MakeSampleImage(256 * 1024 + 1, "P", "1.0", "D", 1)), "warning: larger than 256 KB"},
      {Bytes(sim::MakeSampleImage(65537, "P", "1.0", "D", 1)), "warning: spans 2 blocks"},
      {std::string(64, 'z'), "warning: no PRJ: tag"},
      {"PRJ:ABCDEFGHIJKLMNOPQ$" + std::string(64, 'z'), "warning: the project runs past 16 bytes"},
      {Bytes(sim::MakeSampleImage(4096, "P", "1.0", "D", 1)),
       "Autoload:    signature at 0x000040, value bytes 0x94 (+2) 0x7F (+8): autoload on (1 or 2 blocks)\n"},
      {std::string("\xA5\xA5\x11\x22\x33\x5A\x44\x55", 8), "Autoload:    no signature"},  // not whole
  };
  for (const Case& c : cases) {
    TempDir scratch;
    scratch.Write("img.bin", c.Image);
    ToolRun run = RunTool("tarnwick-image info " + scratch.File("img.bin"), scratch);
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find(c.Expected), std::string::npos) << c.Expected << "\n" << run.Out;
  }
}

TEST(ImageTool, CompareAnswersLikeCmp) {
  const std::string image = Bytes(sim::MakeSampleImage(196608, "TESTPRJ", "1.19.02.03", "2026/12/01", 5));
  std::string changed = image;
  changed[0x12345] ^= 1;
  changed[0x12346] ^= 1;
  struct Case {
    std::string B;
    int Status;
    std::vector<std::string> Expected;
  } cases[] = {
      {image, 0, {"are equal (196608 bytes)"}},
      {changed, 1,
       {Hex("first at 0x012345 (0x%02X and 0x%02X), 2 differing bytes", static_cast<uint8_t>(image[0x12345]),
            static_cast<uint8_t>(changed[0x12345])),
        "block 0 (0x000000-0x00FFFF): equal\n",
        "block 1 (0x010000-0x01FFFF): differs (2 bytes)\n", "block 2 (0x020000-0x02FFFF): equal\n"}},
      {image + std::string(65536, '\xFF'), 1,
       {"first at 0x030000 (the shorter file ends there), 0 differing bytes",
        "block 3 (0x030000-0x03FFFF): beyond the shorter file: all 0xFF"}},
      {image.substr(0, 0x28000) + "x", 1,
       {"block 2 (0x020000-0x02FFFF): differs (1 bytes); then beyond the shorter file: not all 0xFF"}},
  };
  for (const Case& c : cases) {
    TempDir scratch;
    scratch.Write("a.bin", image);
    scratch.Write("b.bin", c.B);
    ToolRun run = RunTool("tarnwick-image compare " + scratch.File("a.bin") + " " + scratch.File("b.bin"), scratch);
    EXPECT_EQ(run.Status, c.Status) << run.Out;
    for (const std::string& e : c.Expected) EXPECT_NE(run.Out.find(e), std::string::npos) << e << "\n" << run.Out;
  }
  TempDir scratch;
  ToolRun run = RunTool("tarnwick-image compare " + scratch.File("none.bin") + " " + scratch.File("none.bin"), scratch);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("none.bin: No such file or directory"), std::string::npos) << run.Err;
}

// A 256 KB EC flashed with a 192 KB image under /ad, dumped with /r, all by
// the programs a technician runs; then the dump as found and spoilt.
TEST(ImageTool, VerifyJudgesADumpAsTarnwickWritesTheImage) {
  TempDir volume, scratch;
  const std::vector<uint8_t> image = sim::MakeSampleImage(196608, "TESTPRJ", "1.19.02.03", "2026/12/01", 7);
  volume.Write("EC.BIN", image);
  scratch.Write("flash.bin", std::string(262144, '\xFF'));
  const std::string sim = "tarnwick-sim --volume " + volume.Path() + " --ec-flash " + scratch.File("flash.bin") +
                          " --time 2026-12-07T10:31:00 -- EC.BIN ";
  ASSERT_EQ(RunTool(sim + "/ad /p", scratch).Status, 0);
  ASSERT_EQ(RunTool(sim + "/r", scratch).Status, 3);
  const std::string dump = volume.Read("ECRom12071031.bin");
  ASSERT_EQ(dump.size(), 262144u);
  struct Case {
    size_t At;  // the byte to change (npos: none)
    uint8_t Value;
    size_t Length;  // the dump's length
    int Status;
    std::vector<std::string> Expected;
  } cases[] = {
      {std::string::npos, 0, 262144, 0,
       {"verified: ", "0x85 (+2) 0x00 (+8): autoload disabled (3 or 4 blocks)\n",
        "block 2 (0x020000-0x02FFFF): as the image\n", "block 3 (0x030000-0x03FFFF): all 0xFF beyond the image\n"}},
      {0x12345, static_cast<uint8_t>(image[0x12345] ^ 0x10), 262144, 1,
       {"NOT verified: ", Hex("first difference at 0x012345: the dump holds 0x%02X, the image 0x%02X\n",
                              image[0x12345] ^ 0x10, image[0x12345]),
        "differing bytes: 1\n", "block 1 (0x010000-0x01FFFF): differs from the image (1 bytes)\n"}},
      {0x30010, 0x00, 262144, 1,
       {"first difference at 0x030010: the dump holds 0x00 beyond the image, not 0xFF\n",
        "block 3 (0x030000-0x03FFFF): 1 bytes beyond the image not 0xFF\n"}},
      {0x48, 0x7F, 262144, 1,  // 0x85 with 0x7F: no autoload setting writes that pair
       {Hex("first difference at 0x000048: the dump holds 0x7F, the image 0x%02X\n", image[0x48]),
        "no autoload setting writes these"}},
      {std::string::npos, 0, 131072, 1,
       {Hex("first difference at 0x020000: the dump ends there, the image holds 0x%02X\n", image[0x20000]),
        "block 2 (0x020000-0x02FFFF): the dump ends at 0x020000\n", "is the order DUMP IMAGE?"}},
  };
  for (const Case& c : cases) {
    std::string spoilt = dump.substr(0, c.Length);
    if (c.At != std::string::npos) spoilt[c.At] = static_cast<char>(c.Value);
    scratch.Write("dump.bin", spoilt);
    ToolRun run = RunTool("tarnwick-image verify " + scratch.File("dump.bin") + " " + volume.File("EC.BIN"), scratch);
    EXPECT_EQ(run.Status, c.Status) << run.Out << run.Err;
    for (const std::string& e : c.Expected) EXPECT_NE(run.Out.find(e), std::string::npos) << e << "\n" << run.Out;
  }
  scratch.Write("empty.bin", "");
  ToolRun run = RunTool("tarnwick-image verify " + volume.File("ECRom12071031.bin") + " " + scratch.File("empty.bin"),
                        scratch);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("empty.bin is empty"), std::string::npos) << run.Err;
}

TEST(ImageTool, MakeRefusesWhatTarnwickCouldNotShowAndWritesNothing) {
  struct Case {
    std::string Arguments, Message;
    int Status;
  } cases[] = {
      {"--project ABCDEFGHIJKLMNOPQ", "--project ABCDEFGHIJKLMNOPQ: longer than 16 characters", 64},
      {"--project 'A$B'", "--project A$B: holds a '$'", 64},
      {"--project ''", "--project : empty", 64},
      {"--version 2.00", "--version 2.00: does not start with \"1.\"", 64},
      {"--version 1.0123456789ABCDEFG", "after \"1.\": longer than 16 characters", 64},
      {"--date 2026/12/01T10:00:00", "--date 2026/12/01T10:00:00: longer than 16", 64},
      {"--size 100", "--size 100: too small for the tags", 64},
      {"--size 2000K", "--size 2000K: larger than 1024K", 64},
      {"--size 12Q", "--size 12Q: not a number of bytes", 64},
      {"--seed -1", "--seed -1: not a number", 64},
      {"--size", "--size needs a value", 64},
      {"--size 64K --size 64K", "--size is given twice", 64},
      {"--colour red", "unknown option --colour", 64},
      {"other.bin", "unexpected argument other.bin", 64},
  };
  for (const Case& c : cases) {
    TempDir scratch;
    ToolRun run = RunTool("tarnwick-image make " + scratch.File("out.bin") + " " + c.Arguments, scratch);
    EXPECT_EQ(run.Status, c.Status) << c.Arguments;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << c.Arguments << ": " << run.Err;
    EXPECT_FALSE(scratch.Exists("out.bin")) << c.Arguments;
  }
  TempDir scratch;
  ToolRun run = RunTool("tarnwick-image make " + scratch.File("no/such/dir/out.bin"), scratch);
  EXPECT_EQ(run.Status, 74);
  EXPECT_NE(run.Err.find("no/such/dir/out.bin: No such file or directory"), std::string::npos) << run.Err;
  // An existing file is kept unless --force.
  scratch.Write("old.bin", "keep me");
  run = RunTool("tarnwick-image make " + scratch.File("old.bin"), scratch);
  EXPECT_EQ(run.Status, 74);
  EXPECT_NE(run.Err.find("old.bin exists; --force writes over it"), std::string::npos) << run.Err;
  EXPECT_EQ(scratch.Read("old.bin"), "keep me");
  EXPECT_EQ(RunTool("tarnwick-image make --force " + scratch.File("old.bin"), scratch).Status, 0);
  EXPECT_EQ(scratch.Read("old.bin").size(), 196608u);
}

TEST(ImageTool, EveryHostToolAnswersHelpAndVersion) {
  for (const std::string& tool : {"tarnwick-sim", "tarnwick-image", "bench/flash_bench"}) {
    TempDir scratch;
    ToolRun help = RunTool(tool + " --help", scratch);
    EXPECT_EQ(help.Status, 0) << tool;
    EXPECT_NE(help.Out.find("--version"), std::string::npos) << tool;
    ToolRun version = RunTool(tool + " --version", scratch);
    EXPECT_EQ(version.Status, 0) << tool;
    const std::string name = tool.substr(tool.rfind('/') + 1);
    EXPECT_EQ(version.Out.rfind(name + " ", 0), 0u) << version.Out;
    EXPECT_GT(version.Out.size(), name.size() + 2) << version.Out;
  }
}

}  // namespace
