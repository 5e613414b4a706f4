// The EC ROM dump: the file it leaves (name, place, bytes), the console, the
// port traffic, and every failure with its message and what is left behind.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/option_state.h"
#include "ec/ec_channel.h"
#include "flash/dump.h"
#include "sim/machine.h"
#include "tests/test_support.h"
#include "tests/console_text.h"

namespace {

using testing_support::CountOf;
using testing_support::TempDir;

constexpr char kName[] = "ECRom12071030.bin";  // the machine's clock: 12-07 10:30

std::vector<uint8_t> FlashPattern() {
  std::vector<uint8_t> flash(196608);
  for (size_t i = 0; i < flash.size(); i++) flash[i] = static_cast<uint8_t>((i * 131 + (i >> 8)) & 0xFF);
  return flash;
}

sim::MachineConfig ConfigFor(const TempDir& volume) {
  sim::MachineConfig config;
  config.Volumes = {volume.Path()};
  config.Flash = FlashPattern();
  return config;
}

DumpOutcome RunDump(const sim::MachineConfig& config, int8_t blocks = 2) {
  sim::Boot(config);
  ResetOptionState();
  EcBoardReset();
  SelectEcPorts(1);
  EcBoardSetBlockCount(blocks);
  return DumpEcRom();
}


std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> CommandWrites() {
  std::vector<uint8_t> out;
  for (const sim::PortAccess& a : sim::TheMachine().Trace)
    if (a.Write) out.push_back(a.Value);
  return out;
}

void ExpectClean(const char* what) {
  sim::Audit audit = sim::TakeAudit();
  EXPECT_TRUE(audit.Clean()) << what << ": " << (audit.Details.empty() ? "" : audit.Details[0]);
}

std::string BlockLine(int block) { return "Block " + std::to_string(block) + ":" + std::string(64, '*') + "\n"; }

TEST(Dump, TwoBlocksGiveTheFlashInADatedFileAtTheRoot) {
  TempDir volume;
  RunDump(ConfigFor(volume));
  std::vector<uint8_t> flash = FlashPattern();
  flash.resize(131072);
  EXPECT_EQ(Bytes(volume.Read(kName)), flash);
  EXPECT_EQ(console_text::Text(), "It get data to buufer, then write to file\n" + BlockLine(0) + BlockLine(1) +
                           "Waitting to write data to the input file : \\" + kName);
  // Flash mode opened without the mode query, one read per block, then left.
  EXPECT_EQ(CommandWrites(), (std::vector<uint8_t>{0xDE, 0xDC, 0x03, 0x00, 0x03, 0x01, 0xFE}));
  for (const sim::PortAccess& a : sim::TheMachine().Trace)
    if (a.Write) EXPECT_EQ(a.Port, 0x66);
  ExpectClean("success");
}

TEST(Dump, NameFollowsTheCurrentDirectoryOnTheFirstVolume) {
  struct Case {
    std::optional<std::u16string> Cwd;
    const char* Directory;  // where the file lands on the first volume
    const char* Shown;      // the name as printed
  } cases[] = {
      {u"FS0:\\", "", "\\ECRom12071030.bin"},
      {u"FS0:\\EC\\DUMPS", "EC/DUMPS/", "\\EC\\DUMPS\\ECRom12071030.bin"},
      {u"FS1:\\EC", "EC/", "\\EC\\ECRom12071030.bin"},  // the path only: still the first volume
      {std::nullopt, "", "\\ECRom12071030.bin"},
      {u"FS0:", "", "\\ECRom12071030.bin"},
  };
  for (const Case& c : cases) {
    TempDir first, second;
    first.MakeDir("EC/DUMPS");
    second.MakeDir("EC");
    sim::MachineConfig config = ConfigFor(first);
    config.Volumes.push_back(second.Path());
    config.CurrentDirectory = c.Cwd;
    RunDump(config, 1);
    EXPECT_EQ(first.Read(std::string(c.Directory) + kName).size(), 65536u) << c.Shown;
    EXPECT_FALSE(second.Exists(std::string(c.Directory) + kName)) << c.Shown;
    EXPECT_NE(console_text::Text().find(std::string("input file : ") + c.Shown), std::string::npos) << console_text::Text();
  }
}

TEST(Dump, AClockThatCannotBeReadGivesZeros) {
  TempDir volume;
  sim::MachineConfig config = ConfigFor(volume);
  config.Fault.GetTimeFails = true;
  RunDump(config, 1);
  EXPECT_EQ(volume.Read("ECRom00000000.bin").size(), 65536u);
}

TEST(Dump, ADumpOverALargerFileOfTheSameMinuteLeavesNoTail) {
  TempDir volume;
  volume.Write(kName, std::string(300000, 'x'));
  RunDump(ConfigFor(volume), 1);
  std::vector<uint8_t> flash = FlashPattern();
  flash.resize(65536);
  EXPECT_EQ(Bytes(volume.Read(kName)), flash);
}

TEST(Dump, FailuresPrintTheirMessageAndCloseEverything) {
  const std::string name = std::string("\\") + kName;
  struct Case {
    const char* What;
    void (*Inject)(sim::Faults&);
    int8_t Blocks;
    std::string Message;
    bool FileLeft;    // a file of the name exists afterwards
    bool ReadsFlash;  // flash mode was entered
  } cases[] = {
      {"no file system", [](sim::Faults& f) { f.NoFileSystem = true; }, 2,
       "Can't create file protocal (Err. No. : 1)\n", false, false},
      {"volume", [](sim::Faults& f) { f.OpenVolumeFails = {0}; }, 2, "Can't OpenVolume (Err. No. : 1)\n", false,
       false},
      {"create", [](sim::Faults& f) { f.CreateFailPath = u"\\ECRom12071030.bin"; }, 2,
       "Can't create file: " + name + ", (Err. No. :1)\n", false, false},
      // Not even the name's pool: reported as the memory shortage it is, nothing touched.
      {"name", [](sim::Faults& f) { f.AllocFailCall = 1; }, 2, "Can't create 128K buffer memory for read/write\n",
       false, false},
      {"buffer 2", [](sim::Faults& f) { f.AllocFailMinSize = 65536; }, 2,
       "Can't create 128K buffer memory for read/write\n", true, false},
      {"buffer 4", [](sim::Faults& f) { f.AllocFailMinSize = 65536; }, 4,
       "Can't create 256K buffer memory for read/write\n", true, false},
      {"write", [](sim::Faults& f) { f.WriteFailCall = 1; }, 2,
       "Can't write data to file: " + name + ", (Err. No. :1)\n", true, true},
      {"short write", [](sim::Faults& f) { f.WriteShortBytes = 4096; }, 2,
       "Can't write data to file: " + name + ", (Err. No. :1)\n", true, true},
      {"set info", [](sim::Faults& f) { f.SetInfoFailCall = 1; }, 2,
       "Can't write data to file: " + name + ", (Err. No. :1)\n", true, true},
      {"close", [](sim::Faults& f) { f.CloseFailPath = u"\\ECRom12071030.bin"; }, 2,
       "Can not close the input file: " + name + ", (Err. No.: 1)\n", true, true},
  };
  for (const Case& c : cases) {
    TempDir volume;
    sim::MachineConfig config = ConfigFor(volume);
    c.Inject(config.Fault);
    RunDump(config, c.Blocks);
    std::string text = console_text::Text();
    EXPECT_EQ(CountOf(text, c.Message), 1u) << c.What << ": " << text;
    EXPECT_EQ(volume.Exists(kName), c.FileLeft) << c.What;
    if (!c.ReadsFlash) {
      EXPECT_EQ(text, c.Message) << c.What;
      EXPECT_TRUE(CommandWrites().empty()) << c.What;
    } else {
      EXPECT_EQ(CommandWrites().back(), 0xFE) << c.What;
      EXPECT_TRUE(text.find("Waitting to write data to the input file : " + name) < text.find(c.Message)) << c.What;
    }
    if (c.FileLeft && !c.ReadsFlash) EXPECT_EQ(volume.Read(kName), "") << c.What;
    ExpectClean(c.What);
  }
}

TEST(Dump, AnOlderFileStaysUnchangedWhenTheBufferIsRefused) {
  TempDir volume;
  volume.Write(kName, "older dump");
  sim::MachineConfig config = ConfigFor(volume);
  config.Fault.AllocFailMinSize = 65536;
  RunDump(config, 1);
  EXPECT_EQ(volume.Read(kName), "older dump");
  ExpectClean("buffer");
}

// A dump the EC did not answer in full is never a backup: it goes to the
// .bad name beside it, the .bin name keeps what it held (a file the dump
// created is removed), and the console says how much is missing.
TEST(Dump, ADumpTheEcDidNotAnswerInFullIsKeptOnlyAsBad) {
  const std::string bad = "ECRom12071030.bad";
  struct Case {
    const char* What;
    void (*Fault)(sim::MachineConfig&);
    const char* EarlierBin;  // a .bin of the same minute before the dump (nullptr: none)
    int Unanswered, NotTaken;
  } cases[] = {
      // 16 timed-out reads per block, then the rest of the block is skipped.
      {"OBF never set", [](sim::MachineConfig& c) { c.Ec.ObfNeverSet = true; }, nullptr, 131072, 0},
      // Nothing decodes the ports: every command byte times out, every status read shows OBF.
      {"no EC", [](sim::MachineConfig& c) { c.Ec.Present = false; }, "earlier dump", 0, 7},
      // Block 0 read, then the EC dies on block 1's command: its block number and 0xFE are not taken.
      {"EC dies in block 1's command", [](sim::MachineConfig& c) { c.Ec.IbfStuckAfterBytes = 5; }, nullptr,
       65536, 2},
  };
  for (const Case& c : cases) {
    TempDir volume;
    if (c.EarlierBin != nullptr) volume.Write(kName, std::string(c.EarlierBin));
    sim::MachineConfig config = ConfigFor(volume);
    config.TraceEnabled = false;
    c.Fault(config);
    EXPECT_EQ(RunDump(config, 2), DumpOutcome::Incomplete) << c.What;
    EXPECT_EQ(console_text::Text(), "It get data to buufer, then write to file\n" + BlockLine(0) + BlockLine(1) +
                                        "Waitting to write data to the input file : \\" + bad +
                                        "\nThe dump is not complete: the EC did not answer " +
                                        std::to_string(c.Unanswered) + " of 131072 bytes and did not take " +
                                        std::to_string(c.NotTaken) + " command bytes. It is no backup.\n")
        << c.What;
    EXPECT_EQ(volume.Exists(kName), c.EarlierBin != nullptr) << c.What;
    if (c.EarlierBin != nullptr) EXPECT_EQ(volume.Read(kName), c.EarlierBin) << c.What;
    EXPECT_EQ(volume.Read(bad).size(), 131072u) << c.What;
    // Each block gives up after 16 timeouts in a row; each send waits out its bound.
    EXPECT_LE(sim::TheMachine().PortOps, (2u * 16u + 7u) * 100003u + 2u * 65536u * 2u + 100u) << c.What;
    ExpectClean(c.What);
  }
}

TEST(Dump, ABadFileThatCannotBeCreatedIsReported) {
  TempDir volume;
  sim::MachineConfig config = ConfigFor(volume);
  config.Ec.ObfNeverSet = true;
  config.TraceEnabled = false;
  config.Fault.CreateFailPath = u"\\ECRom12071030.bad";
  EXPECT_EQ(RunDump(config, 1), DumpOutcome::Incomplete);
  const std::string text = console_text::Text();
  EXPECT_EQ(CountOf(text, "Can't create file: \\ECRom12071030.bad, (Err. No. :1)\n"), 1u) << text;
  EXPECT_EQ(CountOf(text, "It is no backup.\n"), 1u) << text;
  EXPECT_FALSE(volume.Exists(kName));
  ExpectClean("bad file not created");
}

}  // namespace
