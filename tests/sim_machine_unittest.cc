// The simulated machine around the program: pool and audit, keys, virtual
// clock, shell, port trace, power-off and power cuts.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "sim/machine.h"
#include "sim/sample_image.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempDir;

sim::MachineConfig Plain() { return sim::MachineConfig(); }

TEST(SimMachine, PoolAllocationsAreAuditedUntilFreed) {
  sim::Boot(Plain());
  void* a = PoolAllocate(16);
  void* b = PoolAllocate(0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(a)[0], 0xAF);  // pool memory is not zeroed
  PoolFree(b);
  sim::Audit audit = sim::TakeAudit();
  EXPECT_EQ(audit.OpenAllocations, 1u);
  ASSERT_EQ(audit.Details.size(), 1u);
  EXPECT_EQ(audit.Details[0], "allocation #1 of 16 bytes not freed");
  PoolFree(a);
  PoolFree(nullptr);
  EXPECT_TRUE(sim::TakeAudit().Clean());
  PoolFree(a);  // twice
  EXPECT_EQ(sim::TakeAudit().Misuse, 1u);
}

TEST(SimMachine, AllocationFaultsByCallNumberAndBySize) {
  sim::MachineConfig config;
  config.Fault.AllocFailCall = 2;
  config.Fault.AllocFailMinSize = 65536;
  sim::Boot(config);
  void* first = PoolAllocate(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(PoolAllocate(8), nullptr);
  void* third = PoolAllocate(65535);
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(PoolAllocate(65536), nullptr);
  PoolFree(first);
  PoolFree(third);
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST(SimMachine, StallAdvancesTheVirtualClockAndGetTimeFollowsIt) {
  sim::MachineConfig config;
  config.Time = EfiTime{2026, 12, 31, 23, 59, 58, 0, 0, 0, 0, 0};
  sim::Boot(config);
  Stall(1500000);
  Stall(1000000);
  EXPECT_EQ(sim::TheMachine().NowUs, 2500000u);
  EXPECT_EQ(sim::TheMachine().Stalls, (std::vector<uint64_t>{1500000, 1000000}));
  EfiTime now{};
  ASSERT_EQ(GetTime(&now), kEfiSuccess);
  EXPECT_EQ(now.Year, 2027);
  EXPECT_EQ(now.Month, 1);
  EXPECT_EQ(now.Day, 1);
  EXPECT_EQ(now.Hour, 0);
  EXPECT_EQ(now.Minute, 0);
  EXPECT_EQ(now.Second, 0);
  EXPECT_EQ(now.Nanosecond, 500000000u);
}

TEST(SimMachine, GetTimeFaultLeavesTheRecord) {
  sim::MachineConfig config;
  config.Fault.GetTimeFails = true;
  sim::Boot(config);
  EfiTime now{};
  now.Hour = 7;
  EXPECT_EQ(GetTime(&now), kEfiDeviceError);
  EXPECT_EQ(now.Hour, 7);
}

TEST(SimMachine, KeysComeInOrderAfterTheFailingReads) {
  sim::MachineConfig config;
  config.Keys = sim::KeysFromText(u"y\r\x1b");
  config.Fault.ReadKeyFailsFirst = 1;
  sim::Boot(config);
  InputKey key{};
  ConWaitForKey();
  EXPECT_EQ(ConReadKeyStroke(&key), kEfiNotReady);
  ASSERT_EQ(ConReadKeyStroke(&key), kEfiSuccess);
  EXPECT_EQ(key.UnicodeChar, u'y');
  ASSERT_EQ(ConReadKeyStroke(&key), kEfiSuccess);
  EXPECT_EQ(key.UnicodeChar, u'\r');
  ASSERT_EQ(ConReadKeyStroke(&key), kEfiSuccess);
  EXPECT_EQ(key.UnicodeChar, 0);
  EXPECT_EQ(key.ScanCode, 0x17);  // Escape has no character
  EXPECT_EQ(ConReadKeyStroke(&key), kEfiNotReady);
  // Waiting with no key left would last for ever: the machine records it.
  ConWaitForKey();
  EXPECT_TRUE(sim::TheMachine().KeysExhausted);
  EXPECT_EQ(sim::TheMachine().KeyWaits, 2u);
}

TEST(SimMachine, AKeySourceFeedsKeysOnceTheConfiguredOnesAreUsed) {
  sim::MachineConfig config;
  config.Keys = sim::KeysFromText(u"a");
  sim::Boot(config);
  int asked = 0;
  sim::SetKeySource([&asked](InputKey* key) {
    *key = InputKey{0, u'b'};
    return ++asked <= 1;
  });
  InputKey key{};
  ConWaitForKey();
  ASSERT_EQ(ConReadKeyStroke(&key), kEfiSuccess);
  EXPECT_EQ(key.UnicodeChar, u'a');
  ConWaitForKey();
  ASSERT_EQ(ConReadKeyStroke(&key), kEfiSuccess);
  EXPECT_EQ(key.UnicodeChar, u'b');
  ConWaitForKey();
  EXPECT_TRUE(sim::TheMachine().KeysExhausted);
  EXPECT_EQ(asked, 2);
}

TEST(SimMachine, ShellOffersWhatItIsConfiguredWith) {
  struct Case {
    sim::ShellKind Kind;
    bool Parameters, Interface;
  } const cases[] = {{sim::ShellKind::Parameters, true, false},
                     {sim::ShellKind::InterfaceOnly, false, true},
                     {sim::ShellKind::None, false, false}};
  for (const Case& c : cases) {
    sim::MachineConfig config;
    config.Shell = c.Kind;
    config.Args = {u"EC.BIN", u"/k"};
    config.CurrentDirectory.reset();
    sim::Boot(config);
    size_t argc = 0;
    Char16** argv = nullptr;
    EXPECT_EQ(!EfiIsError(ShellParametersArgs(&argc, &argv)), c.Parameters);
    EXPECT_EQ(!EfiIsError(ShellInterfaceArgs(&argc, &argv)), c.Interface);
    if (c.Parameters || c.Interface) {
      ASSERT_EQ(argc, 3u);
      EXPECT_EQ(std::u16string(argv[0]), u"FS0:\\tarnwick.efi");
      EXPECT_EQ(std::u16string(argv[2]), u"/k");
      EXPECT_EQ(argv[3], nullptr);
    }
    EXPECT_EQ(ShellCurrentDirectory(), nullptr);
  }
  sim::MachineConfig config;
  config.CurrentDirectory = u"FS1:\\EC";
  sim::Boot(config);
  EXPECT_EQ(std::u16string(ShellCurrentDirectory()), u"FS1:\\EC");
}

TEST(SimMachine, PortTraceHoldsEveryAccessWithItsVirtualTime) {
  sim::MachineConfig config;
  config.Ec.Present = false;
  sim::Boot(config);
  EXPECT_EQ(PortRead8(0x66), 0xFF);
  Stall(10);
  PortWrite8(0x62, 0x97);
  const auto& trace = sim::TheMachine().Trace;
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_FALSE(trace[0].Write);
  EXPECT_EQ(trace[0].Port, 0x66);
  EXPECT_EQ(trace[0].Value, 0xFF);
  EXPECT_EQ(trace[0].TimeUs, 0u);
  EXPECT_TRUE(trace[1].Write);
  EXPECT_EQ(trace[1].Value, 0x97);
  EXPECT_EQ(trace[1].TimeUs, 10u);
  EXPECT_EQ(sim::TheMachine().PortOps, 2u);

  config.TraceEnabled = false;
  sim::Boot(config);
  PortRead8(0x66);
  EXPECT_TRUE(sim::TheMachine().Trace.empty());
  EXPECT_EQ(sim::TheMachine().PortOps, 1u);
}

TEST(SimMachine, PowerOffUnderHaltOutsideARunIsRecorded) {
  sim::MachineConfig config;
  config.PowerOff = sim::PowerOffMode::Halt;
  sim::Boot(config);
  PortWrite8(0x66, 0x95);
  EXPECT_TRUE(sim::TheMachine().PoweredOff);
  EXPECT_EQ(sim::EventNames(), (std::vector<std::string>{"power-off"}));
}

// The run ends inside the port write; what the program held is not held
// against it.
TEST(SimMachine, HaltEndsTheRunAtThePowerOff) {
  TempDir disk;
  disk.Write("EC.BIN", sim::MakeSampleImage(3 * 65536, "TESTPRJ", "1.02.03", "2026/12/01", 5));
  sim::MachineConfig config;
  config.Volumes = {disk.Path()};
  config.Args = {u"EC.BIN", u"/k"};
  config.PowerOff = sim::PowerOffMode::Halt;
  sim::Boot(config);
  EXPECT_EQ(sim::RunTarnwick(), kEfiAborted);
  EXPECT_TRUE(sim::TheMachine().PoweredOff);
  std::vector<std::string> events = sim::EventNames();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "power-off");
  EXPECT_EQ(std::count(events.begin(), events.end(), "power-off"), 1);
  const auto& last = sim::TheMachine().Trace.back();
  EXPECT_TRUE(last.Write);
  EXPECT_EQ(last.Port, 0x66);
  EXPECT_EQ(last.Value, 0x95);
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST(SimMachine, PowerCutAfterAGivenNumberOfPortOps) {
  sim::MachineConfig config;
  config.Args = {u"EC.BIN", u"/k"};
  config.Fault.PowerCutAfterPortOps = 10;
  sim::Boot(config);
  EXPECT_EQ(sim::RunTarnwick(), kEfiAborted);
  EXPECT_TRUE(sim::TheMachine().PoweredOff);
  EXPECT_TRUE(sim::TheMachine().PowerCut);
  EXPECT_EQ(sim::TheMachine().PortOps, 10u);
  EXPECT_EQ(sim::TheMachine().Trace.size(), 10u);
  EXPECT_EQ(sim::EventNames().back(), "power-cut");
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST(SimMachine, WaitingForAKeyThatNeverComesEndsTheRun) {
  TempDir disk;
  disk.Write("EC.BIN", sim::MakeSampleImage(65536, "OTHER", "1.02.03", "2026/12/01", 5));
  sim::MachineConfig config;
  config.Volumes = {disk.Path()};
  config.Args = {u"EC.BIN", u"/k"};
  sim::Boot(config);
  EXPECT_EQ(sim::RunTarnwick(), kEfiAborted);
  EXPECT_TRUE(sim::TheMachine().KeysExhausted);
  EXPECT_EQ(sim::EventNames().back(), "no-keys-left");
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST(SimMachine, FlashContentsStartFromTheConfiguredBytes) {
  sim::MachineConfig config;
  config.Ec.FlashSize = 2 * 65536;
  config.Flash = {1, 2, 3};
  sim::Boot(config);
  std::vector<uint8_t> flash = sim::FlashContents();
  ASSERT_EQ(flash.size(), 2u * 65536);
  EXPECT_EQ(flash[2], 3);
  EXPECT_EQ(flash[3], 0xFF);
}

TEST(SimSampleImage, TagsAndSignatureSitAtTheirOffsetsAndNowhereElse) {
  std::vector<uint8_t> image = sim::MakeSampleImage(3 * 65536, "TESTPRJ", "1.19.01.11", "2026/12/01", 9);
  ASSERT_EQ(image.size(), 3u * 65536);
  std::string bytes(image.begin(), image.end());
  EXPECT_EQ(bytes.find("PRJ:"), sim::kSampleProjectOffset);
  EXPECT_EQ(bytes.compare(sim::kSampleProjectOffset, 12, "PRJ:TESTPRJ$"), 0);
  EXPECT_EQ(bytes.find("VER:"), sim::kSampleVersionOffset);
  EXPECT_EQ(bytes.compare(sim::kSampleVersionOffset, 15, "VER:1.19.01.11$"), 0);
  EXPECT_EQ(bytes.find("DATE:"), sim::kSampleDateOffset);
  EXPECT_EQ(bytes.find("PRJ:", sim::kSampleProjectOffset + 1), std::string::npos);
  size_t signatures = 0;
  for (size_t i = 0; i + 9 <= image.size(); ++i) {
    if (image[i] == 0xA5 && image[i + 1] == 0xA5 && image[i + 5] == 0x5A) {
      EXPECT_EQ(i, sim::kSampleAutoloadOffset);
      ++signatures;
    }
  }
  EXPECT_EQ(signatures, 1u);
  EXPECT_EQ(image[sim::kSampleAutoloadOffset + 2], 0x85);  // "autoload on" for more than two blocks
  EXPECT_EQ(image[sim::kSampleAutoloadOffset + 8], 0xBE);
  // The same seed gives the same bytes; another seed other bytes.
  EXPECT_EQ(image, sim::MakeSampleImage(3 * 65536, "TESTPRJ", "1.19.01.11", "2026/12/01", 9));
  EXPECT_NE(image, sim::MakeSampleImage(3 * 65536, "TESTPRJ", "1.19.01.11", "2026/12/01", 10));
  // A tiny image keeps only what fits.
  std::vector<uint8_t> tiny = sim::MakeSampleImage(0x90, "TESTPRJ", "1.0", "x", 1);
  EXPECT_EQ(std::string(tiny.begin() + sim::kSampleProjectOffset, tiny.begin() + 0x8C), "PRJ:TESTPRJ$");
}

}  // namespace
