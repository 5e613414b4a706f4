// The waits of whole runs: the chip erase's timed marks, the 1 ms after each
// sector erase, the settle after a whole-flash erase (none after the /g
// erase), the 1 ms before the verify and the post-flash countdown, in order.
// On a real EC a blank check that starts before the erase has settled fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "sim/machine.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempDir;

// "15000x64 100000 1000": runs of equal stalls, in order.
std::string Runs(const std::vector<uint64_t>& stalls) {
  std::string out;
  for (size_t i = 0; i < stalls.size();) {
    size_t j = i;
    while (j < stalls.size() && stalls[j] == stalls[i]) j++;
    out += (out.empty() ? "" : " ") + std::to_string(stalls[i]) + (j - i > 1 ? "x" + std::to_string(j - i) : "");
    i = j;
  }
  return out;
}

TEST(StallSequence, WholeRuns) {
  struct Case {
    const char* Name;
    uint32_t Blocks;
    uint8_t ModeReply;
    std::vector<std::u16string> Args;
    std::string Stalls;
  } cases[] = {
      {"chip erase, timed marks", 1, 0, {u"/p"}, "15000x64 100000 1000"},
      {"chip erase, completion byte", 3, 0, {u"/p"}, "100000 1000"},
      {"sector sweep", 2, 0, {u"/p", u"/l"}, "1000x128 100000 1000"},
      {"boot-last", 2, 0x5A, {u"/p"}, "1000x128 100000 1000"},
      {"/g keeps the G-sensor data", 3, 0, {u"/p", u"/g"}, "1000x191"},  // 190 sectors, then the 1 ms before the verify
      {"/e", 1, 0, {u"/p", u"/e"}, "15000x64 100000"},
      {"/e5", 1, 0, {u"/p", u"/e5"}, "1000"},
      {"shutdown after 2 s", 1, 0, {u"/h2"}, "15000x64 100000 1000 1000000x4 2000000"},
      {"vPro shutdown after 5 s", 1, 0, {u"/h5", u"/v"}, "15000x64 100000 1000 1000000x8 2000000"},
  };
  for (const Case& c : cases) {
    TempDir volume;
    volume.Write("EC.BIN", testing_support::SampleImage(c.Blocks * 65536));
    sim::MachineConfig config;
    config.Ec.FlashSize = c.Blocks * 65536;
    config.Ec.SizeReply = c.Blocks == 3 ? 0x40 : 0x00;
    config.Ec.HasModeReply = c.ModeReply != 0;
    config.Ec.ModeReply = c.ModeReply;
    config.Flash.assign(config.Ec.FlashSize, 0x11);
    config.Volumes = {volume.Path()};
    config.Args = {u"EC.BIN", u"/y", u"/k"};
    config.Args.insert(config.Args.end(), c.Args.begin(), c.Args.end());
    config.TraceEnabled = false;
    const int code = testing_support::RunMain(config);
    EXPECT_EQ(code, kExitOk) << c.Name;
    EXPECT_EQ(Runs(sim::TheMachine().Stalls), c.Stalls) << c.Name;
  }
}

// tarnwick-sim --stalls: one line per Stall, the port accesses before it and
// its microseconds; the settle comes after the last sector's handshakes and
// the one status read that sees the EC take its last byte.
TEST(StallSequence, TheSimulatorWritesEachStallWithThePortAccessesBeforeIt) {
  TempDir volume, scratch;
  volume.Write("EC.BIN", testing_support::SampleImage(65536));
  const testing_support::ToolRun run = testing_support::RunTool(
      "tarnwick-sim --plain --volume " + volume.Path() + " --stalls " + scratch.File("stalls.txt") + " -- EC.BIN /p /k /e /l",
      scratch);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string text = scratch.Read("stalls.txt");
  std::vector<std::pair<uint64_t, uint64_t>> lines;
  size_t at = 0;
  while (at < text.size()) {
    unsigned long long ops = 0, us = 0;
    ASSERT_EQ(std::sscanf(text.c_str() + at, "%llu %llu\n", &ops, &us), 2) << text.substr(at, 40);
    lines.push_back({ops, us});
    at = text.find('\n', at) + 1;
  }
  ASSERT_EQ(lines.size(), 3u * 64 + 1);  // the default 192 KB flash: 192 sectors, then the settle
  for (size_t i = 1; i < lines.size() - 1; i++) EXPECT_LT(lines[i - 1].first, lines[i].first) << i;
  EXPECT_EQ(lines[lines.size() - 2].first + 1, lines.back().first);
  EXPECT_EQ(lines.back().second, 100000u);
  EXPECT_EQ(lines.front().second, 1000u);
}

}  // namespace
