// An EC that misses handshakes for a while and then recovers (the ibf-slow
// spells of the simulated EC), and an EC whose replies run long: the guards
// give up exactly where they should and no earlier, a missed byte keeps the
// boot sector unwritten, erase-only jobs and the mode query are judged by
// what the EC took and answered.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "flash/program.h"
#include "sim/machine.h"
#include "tests/console_text.h"
#include "tests/flash_test_support.h"
#include "tests/test_support.h"

namespace {

using testing_support::CountOf;
using testing_support::SampleImage;

constexpr uint32_t kSendBound = 100002;  // status reads of one send's IBF wait
constexpr uint32_t kSectorMissReads = 4 * kSendBound;
constexpr uint32_t kBlock = 65536;

// The 1-based numbers of the EC port writes of a clean run that match.
std::vector<uint64_t> WriteNumbers(sim::MachineConfig config,
                                   const std::function<bool(const sim::PortAccess&)>& match) {
  config.TraceEnabled = true;
  sim::Boot(config);
  sim::RunTarnwick();
  std::vector<uint64_t> out;
  uint64_t n = 0;
  for (const sim::PortAccess& a : sim::TheMachine().Trace) {
    if (!a.Write) continue;
    n++;
    if (match(a)) out.push_back(n);
  }
  return out;
}

bool Command(const sim::PortAccess& a, uint8_t value) { return a.Port == 0x66 && a.Value == value; }

// A spell that makes the handshakes of `count` sends from write number
// `first` on run out (the bytes are still taken).
sim::EcSlowSpell MissSends(uint64_t first, uint32_t reads) { return sim::EcSlowSpell{first - 1, reads}; }

struct Outcome {
  int Code;
  std::string Text;
  std::vector<uint8_t> Flash;
};

Outcome RunWith(sim::MachineConfig config, const std::vector<sim::EcSlowSpell>& spells) {
  for (const sim::EcSlowSpell& s : spells) config.Ec.SlowSpells[config.Ec.SlowSpellCount++] = s;
  config.TraceEnabled = false;
  sim::Boot(config);
  sim::RunTarnwick();
  return {sim::TheMachine().ExitCode, console_text::Text(), sim::FlashContents()};
}

sim::MachineConfig SweepUpdate(const testing_support::TempDir& volume) {
  sim::MachineConfig config;
  config.Ec.FlashSize = kBlock;
  config.Ec.SizeReply = sim::EcSizeReplyFor(kBlock);
  config.Flash.assign(kBlock, 0x11);
  config.Volumes = {volume.Path()};
  config.Args = {u"EC.BIN", u"/p", u"/y", u"/l"};
  return config;
}

// The update's sweep stops after exactly 16 sector commands in a row of
// which the EC took nothing; fewer, or misses that are not in a row, or
// commands of which it took some bytes, leave the pass to the blank check.
TEST(SlowEc, TheSweepGivesUpOnSixteenDeadSectorsInARowAndNoSooner) {
  testing_support::TempDir volume;
  volume.Write("EC.BIN", SampleImage(kBlock));
  const sim::MachineConfig base = SweepUpdate(volume);
  const std::vector<uint64_t> sectors = WriteNumbers(base, [](const sim::PortAccess& a) { return Command(a, 0x05); });
  ASSERT_GE(sectors.size(), 64u);
  const uint64_t s = sectors[8];  // the ninth sector command of the first pass
  std::vector<sim::EcSlowSpell> commandBytesOnly;
  for (int i = 0; i < 16; i++) commandBytesOnly.push_back(MissSends(sectors[8 + i], kSendBound));
  struct Case {
    const char* What;
    std::vector<sim::EcSlowSpell> Spells;
    bool Stops;
  } cases[] = {
      {"15 dead sectors", {MissSends(s, 15 * kSectorMissReads)}, false},
      {"16 dead sectors", {MissSends(s, 16 * kSectorMissReads)}, true},
      {"8 dead, one taken, 8 dead", {MissSends(s, 8 * kSectorMissReads), MissSends(s + 36, 8 * kSectorMissReads)}, false},
      {"16 sectors without their command byte", commandBytesOnly, false},
  };
  for (const Case& c : cases) {
    const Outcome run = RunWith(base, c.Spells);
    EXPECT_EQ(run.Code, kExitOk) << c.What;
    EXPECT_EQ(CountOf(run.Text, "\nErase failure\n"), c.Stops ? 1u : 0u) << c.What << "\n" << run.Text;
    EXPECT_EQ(CountOf(run.Text, "Verify Check"), 1u) << c.What;  // the blank check passed where the sweep went on
  }
}

// One block's data stream gives up after 16 timed-out bytes in a row; the
// next block's stream starts afresh, whatever the last one did.
TEST(SlowEc, EachBlockStreamIsGuardedOnItsOwn) {
  std::vector<uint8_t> image = flash_test::Pattern(2 * kBlock);
  struct Case {
    const char* What;
    uint64_t FirstMiss;  // data byte number (from 1) in the pass's stream
    uint32_t Sends;      // sends that time out from there (data and command bytes)
    size_t Block0, Block1;  // data bytes each block's stream sends
  } cases[] = {
      // 10 at the end of block 0, block 1's five command bytes, 6 at its start.
      {"10 then 6 across the block boundary", kBlock - 9, 21, kBlock, kBlock},
      {"16 in block 0", 1000, 16, 1000 + 15, kBlock},
  };
  for (const Case& c : cases) {
    // Before the stream: 0xDE 0xDC (BootInFlashMode), 0x02 and its four address bytes.
    sim::MachineConfig config = flash_test::EcConfig(2);
    config.Ec.SlowSpells[0] = MissSends(2 + 5 + c.FirstMiss, c.Sends * kSendBound);
    config.Ec.SlowSpellCount = 1;
    flash_test::BootInFlashMode(config, 2);
    ImageBuffer buffer = flash_test::Buffer(image);
    FlashProgram(buffer, image.size());
    const std::vector<flash_test::Segment> wire = flash_test::Segments();
    ASSERT_EQ(wire.size(), 2u) << c.What;
    EXPECT_EQ(wire[0].Written.size(), c.Block0) << c.What;
    EXPECT_EQ(wire[1].Written.size(), c.Block1) << c.What;
  }
}

// Boot-last: one byte of any block's stream that the EC did not take in time
// means no 0x06 stream in that pass, whichever block it was in.
TEST(SlowEc, OneMissedByteKeepsTheBootKilobyteUnwritten) {
  std::vector<uint8_t> image = flash_test::Pattern(2 * kBlock);
  for (uint64_t missAt : {uint64_t{500}, uint64_t{64512 + 500}}) {  // in block 0 (after its skipped KB), in block 1
    sim::MachineConfig config = flash_test::EcConfig(2);
    config.Ec.SlowSpells[0] = MissSends(2 + 5 + missAt + (missAt > 64512 ? 5 : 0), kSendBound);
    config.Ec.SlowSpellCount = 1;
    flash_test::BootInFlashMode(config, 2);
    ImageBuffer buffer = flash_test::Buffer(image);
    FlashProgramBootLast(buffer, image.size());
    const std::vector<flash_test::Segment> wire = flash_test::Segments();
    ASSERT_EQ(wire.size(), 2u) << missAt;  // the two blocks, no 0x06
    EXPECT_EQ(wire[0].Written.size() + wire[1].Written.size(), 64512u + kBlock) << missAt;
  }
}

// The look for stale output before the blank check waits for the EC to take
// the erase's last byte (within the send bound) before it looks: a part that
// reports its chip erase although the run waited the timed way (/f2 on a
// 192 KB part) would otherwise leave its 0xF8 in front of block 0.
TEST(SlowEc, TheStaleLookWaitsOutTheSendBoundBeforeTheBlankCheck) {
  testing_support::TempDir volume;
  volume.Write("EC.BIN", SampleImage(kBlock));
  sim::MachineConfig config;
  config.Ec.FlashSize = 3 * kBlock;
  config.Flash.assign(3 * kBlock, 0x11);
  config.Volumes = {volume.Path()};
  config.Args = {u"EC.BIN", u"/p", u"/y", u"/f2"};
  const std::vector<uint64_t> erase = WriteNumbers(config, [](const sim::PortAccess& a) { return Command(a, 0x01); });
  ASSERT_FALSE(erase.empty());
  // IBF shows for 100,001 reads after the erase's last parameter byte.
  const Outcome run = RunWith(config, {sim::EcSlowSpell{erase[0] + 4, kSendBound - 1}});
  EXPECT_EQ(run.Code, kExitOk) << run.Text;
  EXPECT_EQ(CountOf(run.Text, "Blank Check fail"), 0u) << run.Text;
}

// A version reply longer than the tool reads leaves bytes behind; the mode
// query takes them up first, so the EC's 0x00 selects the chip erase and
// plain programming.
TEST(SlowEc, BytesLeftByTheVersionQueryDoNotPickTheFlashMode) {
  testing_support::TempDir volume;
  volume.Write("EC.BIN", SampleImage(kBlock));
  sim::MachineConfig config = SweepUpdate(volume);
  config.Args = {u"EC.BIN", u"/p", u"/y"};
  const std::string version = "0123456789ABCDEFGH$";
  std::copy(version.begin(), version.end(), config.Ec.Version);
  config.Ec.VersionLength = static_cast<uint8_t>(version.size());
  const Outcome run = RunWith(config, {});
  EXPECT_EQ(run.Code, kExitOk);
  EXPECT_EQ(CountOf(run.Text, "Write data ===============>"), 1u) << run.Text;
  EXPECT_EQ(CountOf(run.Text, "Update data"), 0u);
}

// Erase-only jobs: nothing reads the flash back after them, so any byte the
// EC did not take in time is "Erase failure" and exit 3.
TEST(SlowEc, EraseOnlyJobsAreJudgedByEveryByte) {
  testing_support::TempDir volume;
  volume.Write("EC.BIN", SampleImage(kBlock));
  sim::MachineConfig e5 = SweepUpdate(volume);
  e5.Args = {u"EC.BIN", u"/p", u"/y", u"/k", u"/e5"};
  const std::vector<uint64_t> sector = WriteNumbers(e5, [](const sim::PortAccess& a) { return Command(a, 0x05); });
  ASSERT_EQ(sector.size(), 1u);
  const sim::EcSlowSpell late = MissSends(sector[0] + 2, kSendBound);  // its second address byte
  struct Case {
    const char* What;
    std::vector<std::u16string> Args;
    std::function<void(sim::EcConfig&)> Fault;
    std::string Shown;  // ends the erase's output
  } cases[] = {
      {"/e, EC dead", {u"/e"}, [](sim::EcConfig& ec) { ec.IbfStuckForever = true; }, ""},
      {"/e /l, EC dies in the last 15 sectors", {u"/e", u"/l"},
       [](sim::EcConfig& ec) { ec.IbfStuckAfterBytes = 220; }, "-\nErase failure\n"},
      {"/e /l, EC takes 2 of every 4 bytes", {u"/e", u"/l"},
       [](sim::EcConfig& ec) {
         ec.IbfBusyReads = kSendBound;
         ec.DropWritesWhileIbf = true;
       }, "-\nErase failure\n"},
      {"/e5, one byte late", {u"/e5"},
       [late](sim::EcConfig& ec) { ec.SlowSpells[ec.SlowSpellCount++] = late; },
       " -\nErase failure\n"},
  };
  for (const Case& c : cases) {
    sim::MachineConfig config = SweepUpdate(volume);
    config.Args = {u"EC.BIN", u"/p", u"/y", u"/k"};
    config.Args.insert(config.Args.end(), c.Args.begin(), c.Args.end());
    c.Fault(config.Ec);
    const Outcome run = RunWith(config, {});
    EXPECT_EQ(run.Code, kExitUpdateFailed) << c.What << "\n" << run.Text;
    EXPECT_NE(run.Text.find(c.Shown), std::string::npos) << c.What << "\n" << run.Text;
    EXPECT_NE(run.Flash, std::vector<uint8_t>(kBlock, 0xFF)) << c.What;
  }
}

// A failed update still ends with the post-flash action: the EC leaves flash
// mode (here /p keeps the machine up).
TEST(SlowEc, AFailedUpdateStillLeavesFlashMode) {
  testing_support::TempDir volume;
  volume.Write("EC.BIN", SampleImage(kBlock));
  sim::MachineConfig config = SweepUpdate(volume);
  config.Args = {u"EC.BIN", u"/p", u"/y"};
  config.Ec.FlashFaults[0] = sim::EcFlashFault{0x1234, 0, true, false, 0};
  config.Ec.FlashFaultCount = 1;
  const Outcome run = RunWith(config, {});
  EXPECT_EQ(run.Code, kExitUpdateFailed);
  EXPECT_FALSE(sim::EcModelInFlashMode(sim::TheMachine().Ec));
  const std::vector<std::string> events = sim::EventNames();
  EXPECT_EQ(std::count(events.begin(), events.end(), "flash-mode-left"), 1);
}

}  // namespace
