// The simulated EC at port level, driven through its port functions alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "sim/ec_model.h"
#include "sim/ec_model_state.h"

namespace sim {
namespace {

constexpr uint16_t kPortSets[4][2] = {{0x64, 0x60}, {0x66, 0x62}, {0x6C, 0x68}, {0x6E, 0x6A}};

// A host that talks to the EC the way the tool does, with bounded polls.
class EcModelTest : public ::testing::Test {
 protected:
  EcModelTest() : ec_(new EcModel) { EcConfigDefaults(&config_); }

  void Boot(const std::vector<uint8_t>& flash = {}) {
    EcModelReset(ec_.get(), &config_, flash.data(), flash.size());
    cmd_ = kPortSets[config_.CommandPortSet <= 3 ? config_.CommandPortSet : 1][0];
    data_ = kPortSets[config_.CommandPortSet <= 3 ? config_.CommandPortSet : 1][1];
  }

  uint8_t In(uint16_t port) { return EcModelPortRead(ec_.get(), port); }
  void Out(uint16_t port, uint8_t value) { EcModelPortWrite(ec_.get(), port, value); }

  // Status reads until IBF clears (at most 1,000); returns how many showed IBF.
  int WaitIbf(uint16_t status) {
    int busy = 0;
    while (busy < 1000 && (In(status) & 2) != 0) ++busy;
    return busy;
  }
  bool WaitObf(uint16_t status) {
    for (int i = 0; i < 1000; ++i)
      if ((In(status) & 1) != 0) return true;
    return false;
  }
  void Send(uint8_t value) { WaitIbf(cmd_); Out(cmd_, value); }
  void Send(std::initializer_list<uint8_t> bytes) { for (uint8_t b : bytes) Send(b); }
  void WriteData(uint8_t value) { WaitIbf(cmd_); Out(data_, value); }
  bool ReadByte(uint8_t* value) {
    bool ok = WaitObf(cmd_);
    *value = In(data_);
    return ok;
  }
  std::vector<uint8_t> ReadAll(size_t limit = 70000) {
    std::vector<uint8_t> bytes;
    uint8_t b;
    while (bytes.size() < limit && ReadByte(&b)) bytes.push_back(b);
    return bytes;
  }
  void RamWrite(uint8_t address, uint8_t value) {
    WaitIbf(0x66); Out(0x66, 0x81);
    WaitIbf(0x66); Out(0x62, address);
    WaitIbf(0x66); Out(0x62, value);
  }
  uint8_t RamRead(uint8_t address) {
    WaitIbf(0x66); Out(0x66, 0x80);
    WaitIbf(0x66); Out(0x62, address);
    WaitObf(0x66);
    return In(0x62);
  }
  void EnterFlashMode() { Send({0xDE, 0xDC}); }

  std::vector<EcEvent> Events() const {
    const EcEvent* e = EcModelEvents(ec_.get());
    return std::vector<EcEvent>(e, e + EcModelEventCount(ec_.get()));
  }
  int CountEvents(EcEventKind kind) const {
    int n = 0;
    for (const EcEvent& e : Events()) n += e.Kind == kind;
    return n;
  }
  uint8_t FlashAt(uint32_t address) const { return EcModelFlash(ec_.get())[address]; }

  EcConfig config_;
  std::unique_ptr<EcModel> ec_;
  uint16_t cmd_ = 0x66, data_ = 0x62;
};

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return bytes;
}

TEST_F(EcModelTest, IbfShowsForTheConfiguredNumberOfStatusReads) {
  for (uint32_t busy : {0u, 1u, 7u}) {
    config_.IbfBusyReads = busy;
    Boot();
    EXPECT_EQ(In(0x66) & 2, 0);
    Out(0x62, 0x97);  // any byte written sets IBF
    EXPECT_EQ(WaitIbf(0x66), static_cast<int>(busy)) << busy;
    EXPECT_EQ(In(0x66) & 2, 0);
  }
}

TEST_F(EcModelTest, ObfFollowsTheQueueAndComesOnlyAfterIbfClears) {
  config_.IbfBusyReads = 2;
  Boot();
  Out(0x66, 0x92);
  EXPECT_EQ(In(0x66), 0x02);
  EXPECT_EQ(In(0x66), 0x02);
  EXPECT_EQ(In(0x66), 0x01);
  std::vector<uint8_t> reply = ReadAll();
  EXPECT_EQ(std::string(reply.begin(), reply.end()), "TESTPRJ$");
  EXPECT_EQ(In(0x66), 0x00);
  EXPECT_EQ(In(0x62), '$');  // an empty queue leaves the last byte on the data port
}

TEST_F(EcModelTest, RamWriteReadAndTheSizeProbe) {
  config_.SizeReply = 0x85;
  Boot();
  RamWrite(0x40, 0x5A);
  EXPECT_EQ(RamRead(0x40), 0x5A);
  EXPECT_EQ(EcModelRam(ec_.get(), 0x40), 0x5A);
  RamWrite(0xF9, 0x20);
  RamWrite(0xFA, 0x02);
  RamWrite(0xFB, 0x00);
  EXPECT_EQ(RamRead(0xF9), 0x20);  // nothing happens before the command byte
  RamWrite(0xF8, 0xB1);
  EXPECT_EQ(RamRead(0xF9), 0x85);
  EXPECT_EQ(In(0x66) & 1, 0);
  EXPECT_TRUE(Events().empty());
}

TEST_F(EcModelTest, AdapterReadingsFollowTheConfiguredSequence) {
  Boot();
  EXPECT_EQ(RamRead(0x10), 0x01);
  const uint8_t sequence[] = {0x01, 0x00, 0x03};
  std::memcpy(config_.AcReadings, sequence, sizeof sequence);
  config_.AcReadingsLength = 3;
  Boot();
  EXPECT_EQ(RamRead(0x10), 0x01);
  EXPECT_EQ(RamRead(0x10), 0x00);
  EXPECT_EQ(RamRead(0x10), 0x03);
  EXPECT_EQ(RamRead(0x10), 0x03);  // the last one repeats
}

TEST_F(EcModelTest, QueriesAnswerExactlyAsConfigured) {
  struct Case { const char* project; const char* version; };
  const Case cases[] = {{"TESTPRJ$", "01.00$"}, {"NODOLLAR", "05.02"}, {"$", ""},
                        {"", "$"}, {"ABCDEFGHIJKLMNOPQRSTUVWXYZ$", "1234567890123456789012345"}};
  for (const Case& c : cases) {
    config_.ProjectLength = static_cast<uint8_t>(std::strlen(c.project));
    std::memcpy(config_.Project, c.project, config_.ProjectLength);
    config_.VersionLength = static_cast<uint8_t>(std::strlen(c.version));
    std::memcpy(config_.Version, c.version, config_.VersionLength);
    Boot();
    Send(0x92);
    std::vector<uint8_t> project = ReadAll();
    Send(0x93);
    std::vector<uint8_t> version = ReadAll();
    EXPECT_EQ(std::string(project.begin(), project.end()), c.project);
    EXPECT_EQ(std::string(version.begin(), version.end()), c.version);
  }
}

// The EC answers from the tags of the image its flash holds, unless told its replies.
TEST_F(EcModelTest, QueriesAnswerFromTheFlashsTags) {
  struct Case {
    const char* Name;
    std::string Flash;
    bool FromFlash;
    const char *Project, *Version;
  } const cases[] = {
      {"tags", std::string("xxPRJ:ABC$yyVER:1.07.00$VER:1.99$"), true, "ABC$", "07.00$"},
      {"no tags", "", true, "TESTPRJ$", "01.00$"},
      {"empty project, version not 1.", std::string("PRJ:\0AB$VER:2.05$", 17), true, "TESTPRJ$", "2.05$"},
      {"no '$' within 16", "PRJ:0123456789ABCDEFGH$", true, "0123456789ABCDEF", "01.00$"},
      {"replies given", "PRJ:ABC$VER:1.07$", false, "TESTPRJ$", "01.00$"},
  };
  for (const Case& c : cases) {
    config_.ProjectFromFlash = config_.VersionFromFlash = c.FromFlash;
    Boot(std::vector<uint8_t>(c.Flash.begin(), c.Flash.end()));
    Send(0x92);
    std::vector<uint8_t> project = ReadAll();
    Send(0x93);
    std::vector<uint8_t> version = ReadAll();
    EXPECT_EQ(std::string(project.begin(), project.end()), c.Project) << c.Name;
    EXPECT_EQ(std::string(version.begin(), version.end()), c.Version) << c.Name;
  }
}

TEST_F(EcModelTest, UnmappedPortsAndAnAbsentEcReadAllOnes) {
  Boot();
  for (uint16_t port : {0x60, 0x64, 0x68, 0x6C, 0x61, 0x70, 0x80, 0x00}) {
    Out(port, 0x92);
    EXPECT_EQ(In(port), 0xFF) << port;
  }
  EXPECT_EQ(In(0x66) & 1, 0);  // nothing reached the EC
  config_.Present = false;
  Boot();
  Out(0x66, 0x92);
  EXPECT_EQ(In(0x66), 0xFF);
  EXPECT_EQ(In(0x62), 0xFF);
}

TEST_F(EcModelTest, CommandInterfaceAnswersOnItsPortSetAndRamStaysOnTheFixedPorts) {
  for (uint8_t set = 0; set < 4; ++set) {
    config_.CommandPortSet = set;
    Boot();
    Send(0x93);
    std::vector<uint8_t> version = ReadAll();
    EXPECT_EQ(std::string(version.begin(), version.end()), "01.00$") << int(set);
    RamWrite(0x20, 0x33);
    EXPECT_EQ(RamRead(0x20), 0x33);
    EXPECT_TRUE(Events().empty()) << int(set);
    if (set != 1) {
      Out(0x66, 0x92);  // not a command of the ACPI interface
      EXPECT_EQ(CountEvents(EcEventKind::ProtocolViolation), 1);
      EXPECT_EQ(In(0x66) & 1, 0);
    }
  }
}

TEST_F(EcModelTest, PowerMessagesOnTheFixedPorts) {
  config_.CommandPortSet = 2;
  Boot();
  WaitIbf(0x66); Out(0x62, 0x97);
  WaitIbf(0x66); Out(0x62, 0x00);
  WaitIbf(0x66); Out(0x62, 0x07);
  WaitIbf(0x66); Out(0x66, 0x95);
  std::vector<EcEvent> events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Kind, EcEventKind::AutoPowerOnArmed);
  EXPECT_EQ(events[0].Value, 7u);
  EXPECT_EQ(events[1].Kind, EcEventKind::PowerOff);
  EXPECT_EQ(events[1].PortOp, EcModelPortOps(ec_.get()));
}

TEST_F(EcModelTest, FlashModeNeedsDcRightAfterDe) {
  Boot();
  EnterFlashMode();
  EXPECT_TRUE(EcModelInFlashMode(ec_.get()));
  EXPECT_EQ(Events().at(0).Kind, EcEventKind::FlashModeEntered);
  Send(0xFE);
  EXPECT_FALSE(EcModelInFlashMode(ec_.get()));
  EXPECT_EQ(Events().at(1).Kind, EcEventKind::FlashModeLeft);

  // Anything written between them spoils the entry.
  Boot();
  Send(0xDE);
  WriteData(0x00);
  Send(0xDC);
  EXPECT_FALSE(EcModelInFlashMode(ec_.get()));
  EXPECT_EQ(CountEvents(EcEventKind::ProtocolViolation), 2);  // the data byte, then a lone 0xDC
  EXPECT_EQ(Events().at(0).Value, 0x00u);
}

TEST_F(EcModelTest, RamCommandsInFlashModeAreViolationsButParametersMayLookLikeThem) {
  Boot(std::vector<uint8_t>(3 * 65536, 0x00));
  EnterFlashMode();
  Send({0x05, 0x00, 0x80, 0x00});  // a parameter byte 0x80 on the shared port
  EXPECT_EQ(FlashAt(0x8000), 0xFF);
  EXPECT_EQ(FlashAt(0x83FF), 0xFF);
  EXPECT_EQ(FlashAt(0x8400), 0x00);
  EXPECT_EQ(FlashAt(0x7FFF), 0x00);
  EXPECT_EQ(CountEvents(EcEventKind::ProtocolViolation), 0);
  RamRead(0x10);
  std::vector<EcEvent> events = Events();
  ASSERT_EQ(events.size(), 3u);  // entry, 0x80, and its address byte with nothing to program
  EXPECT_EQ(events[1].Kind, EcEventKind::ProtocolViolation);
  EXPECT_EQ(events[1].Value, 0x80u);
  EXPECT_EQ(events[2].Value, 0x10u);
  EXPECT_EQ(In(0x66) & 1, 0);  // no answer from the flash loader
}

TEST_F(EcModelTest, ModeQueryAndPartId) {
  struct Case { bool has; uint8_t reply; };
  for (Case c : {Case{true, 0x00}, Case{true, 0x5A}, Case{false, 0x00}}) {
    config_.HasModeReply = c.has;
    config_.ModeReply = c.reply;
    Boot();
    EnterFlashMode();
    Send(0xF0);
    std::vector<uint8_t> reply = ReadAll();
    EXPECT_EQ(reply, c.has ? std::vector<uint8_t>{c.reply} : std::vector<uint8_t>{});
  }
  config_.IdLength = 3;
  Boot();
  EnterFlashMode();
  Send(0x04);
  EXPECT_EQ(ReadAll(), (std::vector<uint8_t>{0xEF, 0x40, 0x13}));
}

TEST_F(EcModelTest, ChipEraseSetsEveryByteAndQueuesTheCompletion) {
  const uint8_t completion[] = {0x01, 0x02, 0xF8};
  std::memcpy(config_.EraseCompletion, completion, 3);
  config_.EraseCompletionLength = 3;
  Boot(Pattern(3 * 65536));
  EnterFlashMode();
  Send({0x01, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(ReadAll(), (std::vector<uint8_t>{0x01, 0x02, 0xF8}));
  for (uint32_t a = 0; a < 3 * 65536; ++a) ASSERT_EQ(FlashAt(a), 0xFF) << a;
}

TEST_F(EcModelTest, SectorEraseTakesBlockAndPage) {
  struct Case { uint8_t block, page; uint32_t start; };
  for (Case c : {Case{0, 0, 0}, Case{1, 4, 0x10400}, Case{2, 0xFC, 0x2FC00}, Case{0, 6, 0x400}}) {
    Boot(std::vector<uint8_t>(3 * 65536, 0x00));
    EnterFlashMode();
    Send({0x05, c.block, c.page, 0x00});
    for (uint32_t a = c.start; a < c.start + 1024; ++a) ASSERT_EQ(FlashAt(a), 0xFF) << a;
    if (c.start > 0) {
      EXPECT_EQ(FlashAt(c.start - 1), 0x00);
    }
    if (c.start + 1024 < 3 * 65536) {
      EXPECT_EQ(FlashAt(c.start + 1024), 0x00);
    }
  }
}

TEST_F(EcModelTest, ProgrammingAndsIntoTheCellsInSequence) {
  std::vector<uint8_t> flash(3 * 65536, 0xFF);
  flash[0x10001] = 0xF0;
  Boot(flash);
  EnterFlashMode();
  Send({0x02, 0x00, 0x01, 0x00, 0x00});
  for (uint8_t b : {0x12, 0x0F, 0xFF, 0x80}) WriteData(b);
  EXPECT_EQ(FlashAt(0x10000), 0x12);
  EXPECT_EQ(FlashAt(0x10001), 0x00);  // 0xF0 AND 0x0F
  EXPECT_EQ(FlashAt(0x10002), 0xFF);
  EXPECT_EQ(FlashAt(0x10003), 0x80);
  EXPECT_EQ(FlashAt(0x10004), 0xFF);
  EXPECT_GT(EcModelLastProgrammed(ec_.get(), 0x10003), EcModelLastProgrammed(ec_.get(), 0x10000));
  EXPECT_EQ(EcModelLastProgrammed(ec_.get(), 0x10004), 0u);
  // A new command ends the stream; data bytes after it program nothing.
  Send(0xF0);
  ReadAll();
  WriteData(0x00);
  EXPECT_EQ(FlashAt(0x10004), 0xFF);
  EXPECT_EQ(CountEvents(EcEventKind::ProtocolViolation), 1);
}

TEST_F(EcModelTest, BootCommandProgramsFromAddressZeroAfterTheRest) {
  Boot();
  EnterFlashMode();
  Send({0x02, 0x00, 0x00, 0x04, 0x00});
  for (int i = 0; i < 2048; ++i) WriteData(0xA5);
  Send(0x06);
  for (int i = 0; i < 1024; ++i) WriteData(0x3C);
  EXPECT_EQ(FlashAt(0), 0x3C);
  EXPECT_EQ(FlashAt(1023), 0x3C);
  EXPECT_EQ(FlashAt(1024), 0xA5);
  EXPECT_EQ(FlashAt(3072), 0xFF);
  EXPECT_GT(EcModelLastProgrammed(ec_.get(), 0), EcModelLastProgrammed(ec_.get(), 3071));
}

TEST_F(EcModelTest, BlockReadStreamsSixtyFourKilobytesWithObfPerByte) {
  std::vector<uint8_t> flash = Pattern(3 * 65536);
  Boot(flash);
  EnterFlashMode();
  Send({0x03, 0x02});
  std::vector<uint8_t> block = ReadAll(100000);
  ASSERT_EQ(block.size(), 65536u);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), flash.begin() + 2 * 65536));
  EXPECT_EQ(EcModelPendingOutput(ec_.get()), 0u);
}

TEST_F(EcModelTest, AddressesBeyondTheFlashAreIgnoredAndRecordedOncePerCommand) {
  config_.FlashSize = 65536;
  Boot(std::vector<uint8_t>(65536, 0x00));
  EnterFlashMode();
  Send({0x03, 0x01});
  std::vector<uint8_t> block = ReadAll(100000);
  ASSERT_EQ(block.size(), 65536u);
  EXPECT_EQ(std::count(block.begin(), block.end(), 0xFF), 65536);
  Send({0x05, 0x01, 0x00, 0x00});
  Send({0x02, 0x00, 0x00, 0xFF, 0xFE});
  for (int i = 0; i < 4; ++i) WriteData(0x00);  // two in range, two beyond
  EXPECT_EQ(FlashAt(0xFFFF), 0x00);
  std::vector<EcEvent> events = Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[1].Kind, EcEventKind::OutOfRange);
  EXPECT_EQ(events[1].Value, 1u);
  EXPECT_EQ(events[2].Value, 0x10000u);
  EXPECT_EQ(events[3].Value, 0x10000u);
}

TEST_F(EcModelTest, WatchdogExitLeavesFlashModeAndRecordsTheDelay) {
  Boot();
  EnterFlashMode();
  Send({0xFC, 0x03});
  EXPECT_FALSE(EcModelInFlashMode(ec_.get()));
  std::vector<EcEvent> events = Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].Kind, EcEventKind::FlashModeLeft);
  EXPECT_EQ(events[2].Kind, EcEventKind::WatchdogReset);
  EXPECT_EQ(events[2].Value, 3u);
  EXPECT_EQ(RamRead(0x10), 0x01);  // back to normal operation
}

TEST_F(EcModelTest, IbfStuckForeverTakesNothing) {
  config_.IbfStuckForever = true;
  Boot();
  EXPECT_EQ(WaitIbf(0x66), 1000);
  Out(0x66, 0x92);
  EXPECT_EQ(In(0x66), 0x02);
  EXPECT_EQ(EcModelPendingOutput(ec_.get()), 0u);
  EXPECT_TRUE(EcModelDead(ec_.get()));
}

TEST_F(EcModelTest, EcDiesAfterSomeWrites) {
  struct Case { uint64_t afterWrites, afterDataBytes; };
  // 0xDE 0xDC, 0x02 and its four bytes, then the data: the EC takes three data bytes.
  for (Case c : {Case{10, 0}, Case{0, 3}}) {
    config_.IbfStuckAfterBytes = c.afterWrites;
    config_.IbfStuckAfterDataBytes = c.afterDataBytes;
    Boot();
    EnterFlashMode();
    Send({0x02, 0x00, 0x00, 0x00, 0x00});
    for (int i = 0; i < 5; ++i) WriteData(0x10 + i);
    EXPECT_EQ(FlashAt(2), 0x12);
    EXPECT_EQ(FlashAt(3), 0xFF);
    EXPECT_EQ(WaitIbf(0x66), 1000);
    EXPECT_TRUE(EcModelDead(ec_.get()));
  }
}

TEST_F(EcModelTest, ObfNeverSetStillLetsTheDataPortGiveTheBytes) {
  config_.ObfNeverSet = true;
  Boot();
  Send(0x93);
  EXPECT_FALSE(WaitObf(0x66));
  EXPECT_EQ(In(0x62), '0');
  EXPECT_EQ(In(0x62), '1');
}

TEST_F(EcModelTest, ChipEraseCompletionWithoutObf) {
  config_.ChipEraseNoObf = true;
  Boot();
  EnterFlashMode();
  Send({0x01, 0x00, 0x00, 0x00, 0x00});
  EXPECT_FALSE(WaitObf(0x66));
  EXPECT_EQ(In(0x62), 0xF8);  // read after the bound, as the host does
  Send(0xF0);
  EXPECT_TRUE(WaitObf(0x66));  // later answers raise OBF again
  EXPECT_EQ(In(0x62), 0x00);
}

TEST_F(EcModelTest, WritesWhileIbfSetAreDroppedOrAccepted) {
  for (bool drop : {false, true}) {
    config_.DropWritesWhileIbf = drop;
    config_.IbfBusyReads = 3;
    Boot();
    Out(0x66, 0x81);
    Out(0x62, 0x30);  // no IBF wait in between
    EXPECT_EQ(WaitIbf(0x66), 3);  // a dropped byte does not restart the EC's work
    Out(0x62, 0x44);
    WaitIbf(0x66);
    EXPECT_EQ(EcModelRam(ec_.get(), 0x30), drop ? 0x00 : 0x44);
    EXPECT_EQ(EcModelRam(ec_.get(), 0x44), 0x00);
  }
}

TEST_F(EcModelTest, StaleBytesComeBeforeTheChosenCommandsAnswer) {
  config_.StaleBytes[0] = 0xAA;
  config_.StaleBytes[1] = 0xBB;
  config_.StaleLength = 2;
  config_.StaleBeforeCommand = 0x92;
  Boot();
  Send(0x93);
  EXPECT_EQ(ReadAll().size(), 6u);
  Send(0x92);
  std::vector<uint8_t> reply = ReadAll();
  ASSERT_EQ(reply.size(), 10u);
  EXPECT_EQ(reply[0], 0xAA);
  EXPECT_EQ(reply[1], 0xBB);
  EXPECT_EQ(reply[2], 'T');
}

TEST_F(EcModelTest, FlashCellFaults) {
  config_.FlashFaults[0] = EcFlashFault{0x100, 0x00, true, false, 0};
  config_.FlashFaults[1] = EcFlashFault{0x101, 0x04, false, false, 0};
  config_.FlashFaults[2] = EcFlashFault{0x102, 0x00, false, true, 0};
  config_.FlashFaults[3] = EcFlashFault{0x103, 0x00, false, false, 2};
  config_.FlashFaultCount = 4;
  Boot();
  EnterFlashMode();
  Send({0x01, 0x00, 0x00, 0x00, 0x00});
  ReadAll();
  EXPECT_EQ(FlashAt(0x101), 0xFB);  // the stuck bit reads 0 even erased
  EXPECT_EQ(FlashAt(0x103), 0xFF);  // the first erase works
  Send({0x02, 0x00, 0x00, 0x01, 0x00});
  for (int i = 0; i < 4; ++i) WriteData(0x5F);
  EXPECT_EQ(FlashAt(0x100), 0xFF);  // never programs
  EXPECT_EQ(FlashAt(0x101), 0x5B);
  EXPECT_EQ(FlashAt(0x102), 0x5F);
  Send({0x03, 0x00});
  std::vector<uint8_t> block = ReadAll(100000);
  ASSERT_EQ(block.size(), 65536u);
  EXPECT_EQ(block[0x102], 0x5E);  // reads back wrong
  EXPECT_EQ(block[0x103], 0x5F);
  Send({0x05, 0x00, 0x00, 0x00});  // the second erase of 0x103 leaves it behind
  EXPECT_EQ(FlashAt(0x103), 0x00);
  EXPECT_EQ(FlashAt(0x102), 0xFF);
  Send({0x05, 0x00, 0x00, 0x00});
  EXPECT_EQ(FlashAt(0x103), 0xFF);
}

TEST_F(EcModelTest, EventsStayBoundedAndCountWhatDidNotFit) {
  Boot();
  for (uint32_t i = 0; i < kEcMaxEvents + 10; ++i) Out(0x62, 0x01);
  EXPECT_EQ(EcModelEventCount(ec_.get()), kEcMaxEvents);
  EXPECT_EQ(EcModelEventsDropped(ec_.get()), 10u);
}

}  // namespace
}  // namespace sim
