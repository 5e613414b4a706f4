// The post-flash power action: the bytes each action sends, when the
// power-off requests go out on the virtual clock, and the countdown console.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/option_state.h"
#include "ec/ec_channel.h"
#include "power/burn_in.h"
#include "power/post_flash.h"
#include "sim/machine.h"

namespace {

constexpr uint64_t kSecond = 1000000;

struct Sent {
  uint16_t Port;
  uint8_t Value;
  uint64_t AtSeconds;  // virtual time of the write, from the start of the action
  bool operator==(const Sent& o) const { return Port == o.Port && Value == o.Value && AtSeconds == o.AtSeconds; }
};

std::ostream& operator<<(std::ostream& out, const Sent& s) {
  return out << "{0x" << std::hex << s.Port << ", 0x" << int(s.Value) << std::dec << ", " << s.AtSeconds << "s}";
}

struct Case {
  const char* Name;
  PostFlashAction Action;
  uint8_t Delay;
  bool Vpro;
  uint8_t PortSet;
  std::vector<Sent> Writes;
  std::vector<uint64_t> StallSeconds;
  uint64_t EndSeconds;
};

// Boots a machine whose EC answers on the case's port set; the choice to run.
PostFlashChoice Prepare(const Case& c) {
  sim::MachineConfig config;
  config.Ec.CommandPortSet = c.PortSet;
  sim::Boot(config);
  EcBoardReset();
  SelectEcPorts(c.PortSet);
  gBurnInRunCount = 0;
  return PostFlashChoice{c.Action, c.Delay, c.Vpro, false};
}

std::vector<Sent> WritesSeen() {
  std::vector<Sent> out;
  for (const sim::PortAccess& a : sim::TheMachine().Trace)
    if (a.Write) out.push_back(Sent{a.Port, a.Value, a.TimeUs / kSecond});
  return out;
}

std::vector<uint64_t> StallsInSeconds() {
  std::vector<uint64_t> out;
  for (uint64_t us : sim::TheMachine().Stalls) {
    EXPECT_EQ(us % kSecond, 0u);
    out.push_back(us / kSecond);
  }
  return out;
}

// The texts printed right after the cursor was put at column, row.
std::vector<std::u16string> TextsAt(size_t column, size_t row) {
  std::vector<std::u16string> out;
  const auto& calls = sim::TheMachine().Screen.Calls;
  for (size_t i = 0; i + 1 < calls.size(); i++) {
    if (calls[i].What == sim::ConsoleCall::Kind::Cursor && calls[i].Column == column && calls[i].Row == row &&
        calls[i + 1].What == sim::ConsoleCall::Kind::Text)
      out.push_back(calls[i + 1].Text);
  }
  return out;
}

std::vector<std::u16string> Countdown(int from) {
  std::vector<std::u16string> out;
  for (int k = from; k >= 1; k--) out.push_back(std::u16string(1, char16_t(u'0' + k)));
  return out;
}

TEST(PostFlash, EachActionSendsItsBytesAtTheirTimes) {
  const uint16_t cmd = 0x66;
  const Case cases[] = {
      {"stay in shell", PostFlashAction::StayInShell, 5, false, 1, {{cmd, 0xFE, 0}}, {}, 0},
      {"shutdown 0", PostFlashAction::Shutdown, 0, false, 1,
       {{cmd, 0xFE, 0}, {0x66, 0x95, 0}, {0x66, 0x95, 1}, {0x66, 0x95, 2}}, {1, 1, 2}, 4},
      {"cold boot 7", PostFlashAction::ColdBoot, 7, false, 1,
       {{cmd, 0xFE, 0}, {0x62, 0x97, 0}, {0x62, 0x00, 0}, {0x62, 0x07, 0},
        {0x66, 0x95, 7}, {0x66, 0x95, 8}, {0x66, 0x95, 9}},
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 2}, 11},
      // Port set 2: the watchdog exit goes to the selected command port, the
      // power-off requests to the fixed one.
      {"watchdog 3", PostFlashAction::WatchdogReset, 3, false, 2,
       {{0x6C, 0xFC, 0}, {0x6C, 0x03, 0}, {0x66, 0x95, 3}, {0x66, 0x95, 4}, {0x66, 0x95, 5}},
       {1, 1, 1, 1, 1, 2}, 7},
      {"vpro 3", PostFlashAction::Shutdown, 3, true, 1,
       {{cmd, 0xFE, 0}, {0x66, 0x95, 4}, {0x66, 0x95, 5}, {0x66, 0x95, 6}}, {1, 1, 1, 1, 1, 1, 2}, 8},
      // 0x95 while 4 is shown, before that second's stall: after 9, 8, 7, 6, 5.
      {"vpro 9", PostFlashAction::Shutdown, 9, true, 1,
       {{cmd, 0xFE, 0}, {0x66, 0x95, 5}, {0x66, 0x95, 10}, {0x66, 0x95, 11}, {0x66, 0x95, 12}},
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2}, 14},
      {"vpro 0", PostFlashAction::Shutdown, 0, true, 1,
       {{cmd, 0xFE, 0}, {0x66, 0x95, 1}, {0x66, 0x95, 2}, {0x66, 0x95, 3}}, {1, 1, 1, 2}, 5},
  };
  for (const Case& c : cases) {
    RunPostFlashAction(Prepare(c));
    EXPECT_EQ(WritesSeen(), c.Writes) << c.Name;
    EXPECT_EQ(StallsInSeconds(), c.StallSeconds) << c.Name;
    EXPECT_EQ(sim::TheMachine().NowUs, c.EndSeconds * kSecond) << c.Name;
  }
}

TEST(PostFlash, StayInShellLeavesTheConsoleAlone) {
  RunPostFlashAction(Prepare({"stay", PostFlashAction::StayInShell, 3, true, 1, {}, {}, 0}));
  EXPECT_TRUE(sim::TheMachine().Screen.Calls.empty());
}

TEST(PostFlash, CountdownOverwritesTheDelayInItsBrackets) {
  RunPostFlashAction(Prepare({"cold boot 7", PostFlashAction::ColdBoot, 7, false, 1, {}, {}, 0}));
  const sim::Console& screen = sim::TheMachine().Screen;
  ASSERT_EQ(TextsAt(18, 24).size(), 1u);
  EXPECT_EQ(TextsAt(18, 24)[0], u"Down count to shutdown,  Waitting (7) second(s) .....");
  EXPECT_EQ(TextsAt(53, 24), Countdown(7));
  // The last digit shown sits inside the brackets, in red; the line is green.
  EXPECT_EQ(screen.Row(24), std::string(18, ' ') + "Down count to shutdown,  Waitting (1) second(s) .....");
  EXPECT_EQ(screen.AttributeAt(18, 24), 0x02u);
  EXPECT_EQ(screen.AttributeAt(53, 24), 0x04u);
  EXPECT_EQ(screen.Row(25), "");
  EXPECT_EQ(screen.Attribute, 0x0Fu);
}

TEST(PostFlash, DelayZeroShowsNoDigits) {
  RunPostFlashAction(Prepare({"shutdown 0", PostFlashAction::Shutdown, 0, false, 1, {}, {}, 0}));
  EXPECT_TRUE(TextsAt(53, 24).empty());
  EXPECT_EQ(sim::TheMachine().Screen.Row(24),
            std::string(18, ' ') + "Down count to shutdown,  Waitting (0) second(s) .....");
  EXPECT_EQ(sim::TheMachine().Screen.Attribute, 0x0Fu);
}

TEST(PostFlash, VproShowsItsLineInBrown) {
  RunPostFlashAction(Prepare({"vpro 9", PostFlashAction::Shutdown, 9, true, 1, {}, {}, 0}));
  const sim::Console& screen = sim::TheMachine().Screen;
  EXPECT_EQ(TextsAt(53, 24), Countdown(9));
  EXPECT_EQ(screen.Row(25),
            std::string(18, ' ') + "In current system, Please kindly Waitting for 1~4 seconds to shutdown");
  EXPECT_EQ(screen.AttributeAt(18, 25), 0x06u);
  EXPECT_EQ(screen.Attribute, 0x0Fu);
}

TEST(PostFlash, BurnInRunCountEndsTheCountdownLine) {
  struct CountCase {
    uint64_t Count;
    const char16_t* Line;
  } cases[] = {
      {12, u"Down count to shutdown,  Waitting (5) second(s) ..... (12)"},
      {0, u"Down count to shutdown,  Waitting (5) second(s) ..... (0)"},
      {5000000000ull, u"Down count to shutdown,  Waitting (5) second(s) ..... (5000000000)"},
  };
  for (const CountCase& c : cases) {
    PostFlashChoice choice = Prepare({"cold boot 5", PostFlashAction::ColdBoot, 5, true, 1, {}, {}, 0});
    choice.ShowRunCount = true;
    gBurnInRunCount = c.Count;
    RunPostFlashAction(choice);
    ASSERT_EQ(TextsAt(18, 24).size(), 1u);
    EXPECT_EQ(TextsAt(18, 24)[0], c.Line);
  }
}

}  // namespace
