// A whole update against an EC that misbehaves: stuck IBF in every phase,
// OBF that never comes, an EC that dies in the data stream, wrong or missing
// chip-erase completion bytes, stale bytes before the mode query, flash cells
// that do not program or read back wrong. Every run must end within a bounded
// number of port operations, with a true verdict (exit code 3 whenever the
// flash does not hold the image, never 0), and the flash as the EC left it.
//
// Port operations of one whole run (one 64 KB block; the test prints every
// row's count):
//   clean update: 793,350
//   EC dead from the start: 6,300,134 (the EC took none of 0xDE 0xDC 0xF0: the
//     run stops before the erase); EC dead between 0xDE and 0xDC: 3,600,179
//     (each chip erase of which it took nothing fails at once)
//   OBF never set: 10,800,344; a cell that never programs: 3,166,346
//   four-block chip erase with its completion byte missing: 3,173,060 (the
//     timed wait follows and the update verifies)
//   boot-last (sector sweep), EC dead in block 0's stream: 29,634,559 -- the
//     worst case: after the first pass each sweep stops after 16 sector
//     commands the EC took nothing of. A four-block part stays under 60
//     million as well (tests/dead_ec_unittest.cc).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "sim/machine.h"
#include "tests/test_support.h"
#include "tests/console_text.h"

namespace {

using testing_support::OneBlockImage;
using testing_support::OneBlockOldFlash;
using testing_support::SampleImage;

constexpr uint32_t kFlashSize = 65536;
// No row may take more port operations than this: a minute at 1 us each.
constexpr uint64_t kPortOpsBound = 60000000;

std::vector<uint8_t> Erased() { return std::vector<uint8_t>(kFlashSize, 0xFF); }

std::vector<uint8_t> Erased(uint32_t address, uint8_t value) {
  std::vector<uint8_t> flash = Erased();
  flash[address] = value;
  return flash;
}

// The erased flash with the image programmed over [from, from + count).
std::vector<uint8_t> PartlyNew(size_t from, size_t count) {
  std::vector<uint8_t> flash = Erased();
  for (size_t i = from; i < from + count && i < kFlashSize; i++) flash[i] = OneBlockImage()[i];
  return flash;
}

std::vector<uint8_t> ImageWith(uint32_t address, uint8_t value) {
  std::vector<uint8_t> flash = OneBlockImage();
  flash[address] = value;
  return flash;
}

sim::MachineConfig BaseConfig(const testing_support::TempDir& volume) {
  sim::MachineConfig config;
  config.Ec.FlashSize = kFlashSize;
  config.Ec.SizeReply = 0;  // one block
  config.Flash = OneBlockOldFlash();
  config.Volumes = {volume.Path()};
  config.Args = {u"EC.BIN", u"/p", u"/y", u"/k"};
  config.TraceEnabled = false;
  return config;
}

// Where the phases of a clean run begin, as counts of EC port writes made
// before them (the unit of IbfStuckAfterBytes).
struct PhaseStarts {
  uint64_t Queries = 0;        // the 0x92 project query
  uint64_t Prepare = 0;        // 0xDE
  uint64_t ModeQuery = 0;      // 0xF0
  uint64_t Erase = 0;          // the first erase command
  uint64_t ReadBlock = 0;      // the blank check's first 0x03
  uint64_t Program = 0;        // 0x02
  uint64_t ProgramData = 0;    // the first data byte of the program stream
  uint64_t BootStream = 0;     // 0x06 (boot-last runs)
};

PhaseStarts MeasurePhases(sim::MachineConfig config) {
  config.TraceEnabled = true;
  sim::Boot(config);
  sim::RunTarnwick();
  PhaseStarts p;
  uint64_t writes = 0;
  bool programSeen = false;
  for (const sim::PortAccess& a : sim::TheMachine().Trace) {
    if (!a.Write) continue;
    auto mark = [&](uint64_t* at, bool when) {
      if (*at == 0 && when) *at = writes;
    };
    const bool command = a.Port == 0x66;
    mark(&p.Queries, command && a.Value == 0x92);
    mark(&p.Prepare, command && a.Value == 0xDE);
    mark(&p.ModeQuery, command && a.Value == 0xF0 && p.Prepare != 0);
    mark(&p.Erase, command && (a.Value == 0x01 || a.Value == 0x05) && p.ModeQuery != 0);
    mark(&p.ReadBlock, command && a.Value == 0x03 && p.Erase != 0);
    if (command && a.Value == 0x02 && p.ReadBlock != 0 && !programSeen) {
      programSeen = true;
      p.Program = writes;
    }
    mark(&p.ProgramData, !command && programSeen);
    mark(&p.BootStream, command && a.Value == 0x06 && programSeen);
    writes++;
  }
  return p;
}

struct Row {
  std::string Name;
  std::function<void(sim::MachineConfig&, const PhaseStarts&)> Fault;
  int ExitCode;
  std::function<std::vector<uint8_t>(const PhaseStarts&)> Flash;
  std::string Shown;  // text the console must show ("" : not checked)
};

struct Result {
  std::string Name;
  uint64_t PortOps;
};

void RunRows(const std::vector<Row>& rows, const std::vector<std::u16string>& extraArgs, uint8_t modeReply,
             std::vector<Result>* results) {
  testing_support::TempDir volume;
  volume.Write("EC.BIN", OneBlockImage());
  sim::MachineConfig base = BaseConfig(volume);
  for (const auto& a : extraArgs) base.Args.push_back(a);
  if (modeReply != 0) {
    base.Ec.HasModeReply = true;
    base.Ec.ModeReply = modeReply;
  }
  const PhaseStarts phases = MeasurePhases(base);
  ASSERT_NE(phases.ProgramData, 0u);
  for (const Row& row : rows) {
    sim::MachineConfig config = base;
    row.Fault(config, phases);
    sim::Boot(config);
    sim::RunTarnwick();
    const sim::Machine& m = sim::TheMachine();
    results->push_back({row.Name, m.PortOps});
    EXPECT_FALSE(m.PoweredOff) << row.Name;
    EXPECT_LE(m.PortOps, kPortOpsBound) << row.Name;
    EXPECT_EQ(m.ExitCode, row.ExitCode) << row.Name;
    const std::vector<uint8_t> flash = sim::FlashContents();
    const std::vector<uint8_t> expected = row.Flash(phases);
    if (flash != expected) {
      size_t first = 0;
      while (first < flash.size() && flash[first] == expected[first]) first++;
      ADD_FAILURE() << row.Name << ": flash differs first at 0x" << std::hex << first;
    }
    // A failed update never ends as a success, and a success means the image.
    if (m.ExitCode == kExitOk) EXPECT_EQ(flash, OneBlockImage()) << row.Name;
    if (!row.Shown.empty())
      EXPECT_NE(console_text::Text().find(row.Shown), std::string::npos) << row.Name << ":\n" << console_text::Text();
    EXPECT_TRUE(sim::TakeAudit().Clean()) << row.Name;
  }
}

void PrintWorstCases(const std::vector<Result>& results) {
  if (results.empty()) return;  // the rows could not run: their failure is already reported
  const Result* worst = &results.front();
  for (const Result& r : results) {
    std::printf("  %-58s %12llu port ops\n", r.Name.c_str(), static_cast<unsigned long long>(r.PortOps));
    if (r.PortOps > worst->PortOps) worst = &r;
  }
  std::printf("  worst case: %s, %llu port ops\n", worst->Name.c_str(),
              static_cast<unsigned long long>(worst->PortOps));
}

auto Old = [](const PhaseStarts&) { return OneBlockOldFlash(); };
auto New = [](const PhaseStarts&) { return OneBlockImage(); };
auto Blank = [](const PhaseStarts&) { return Erased(); };

void DieAfter(sim::MachineConfig& c, uint64_t writes) { c.Ec.IbfStuckAfterBytes = writes; }

TEST(EcFaultMatrix, ChipEraseUpdate) {
  constexpr uint32_t kBadCell = 0x1234;
  const std::vector<Row> rows = {
      {"clean run", [](sim::MachineConfig&, const PhaseStarts&) {}, kExitOk, New, ""},
      {"IBF stuck from the start (size probe)", [](sim::MachineConfig& c, const PhaseStarts&) {
         c.Ec.IbfStuckForever = true;
       }, kExitUpdateFailed, Old, "The EC did not answer on its ports: nothing was erased or written."},
      {"IBF stuck at the project query", [](sim::MachineConfig& c, const PhaseStarts& p) { DieAfter(c, p.Queries); },
       kExitUpdateFailed, Old, ""},
      {"IBF stuck between 0xDE and 0xDC",
       [](sim::MachineConfig& c, const PhaseStarts& p) { DieAfter(c, p.Prepare + 1); }, kExitUpdateFailed, Old,
       // A chip erase of which the EC took nothing ends the pass at once.
       "Erase ====================>\n\nErase failure\n"},
      {"IBF stuck in the erase's parameter bytes",
       [](sim::MachineConfig& c, const PhaseStarts& p) { DieAfter(c, p.Erase + 2); }, kExitUpdateFailed, Old, ""},
      {"IBF stuck in the program command's address",
       [](sim::MachineConfig& c, const PhaseStarts& p) { DieAfter(c, p.Program + 2); }, kExitUpdateFailed, Blank,
       ""},
      {"IBF stuck after 1000 bytes of the data stream",
       [](sim::MachineConfig& c, const PhaseStarts& p) { DieAfter(c, p.ProgramData + 1000); }, kExitUpdateFailed,
       [](const PhaseStarts&) { return PartlyNew(0, 1000); }, ""},
      {"OBF never set", [](sim::MachineConfig& c, const PhaseStarts&) { c.Ec.ObfNeverSet = true; }, kExitUpdateFailed,
       Blank, ""},
      {"a bit that will not program",
       [](sim::MachineConfig& c, const PhaseStarts&) {
         c.Ec.FlashFaults[0] = sim::EcFlashFault{kBadCell, 0, true, false, 0};
         c.Ec.FlashFaultCount = 1;
       },
       kExitUpdateFailed, [](const PhaseStarts&) { return ImageWith(kBadCell, 0xFF); }, ""},
      {"a bit stuck at 0",
       [](sim::MachineConfig& c, const PhaseStarts&) {
         c.Ec.FlashFaults[0] = sim::EcFlashFault{kBadCell, 0x80, false, false, 0};
         c.Ec.FlashFaultCount = 1;
       },
       kExitUpdateFailed, [](const PhaseStarts&) { return Erased(kBadCell, 0x7F); }, " Blank Check fail"},
      // The erased cell already reads back as 0xFE, so the blank check stops every pass.
      {"a byte that reads back wrong",
       [](sim::MachineConfig& c, const PhaseStarts&) {
         c.Ec.FlashFaults[0] = sim::EcFlashFault{kBadCell, 0, false, true, 0};
         c.Ec.FlashFaultCount = 1;
       },
       kExitUpdateFailed, Blank, " Blank Check fail"},
      {"an erase that leaves a byte in the first pass only",
       [](sim::MachineConfig& c, const PhaseStarts&) {
         c.Ec.FlashFaults[0] = sim::EcFlashFault{kBadCell, 0, false, false, 1};
         c.Ec.FlashFaultCount = 1;
       },
       kExitOk, New, ""},
  };
  std::vector<Result> results;
  RunRows(rows, {}, 0, &results);
  PrintWorstCases(results);
}

// A four-block EC ends its chip erase with completion bytes. Wrong ones fail
// the erase; none at all means the part does not report its erase: the timed
// wait follows and the blank check judges.
TEST(EcFaultMatrix, ChipEraseCompletionBytes) {
  testing_support::TempDir volume;
  const std::vector<uint8_t> image = SampleImage(4 * 65536);
  volume.Write("EC.BIN", image);
  struct Case {
    const char* Name;
    std::vector<uint8_t> Completion;
    bool NoObf;
    int ExitCode;
  } cases[] = {
      {"0xF8", {0xF8}, false, kExitOk},
      {"0x01 0x02 0xF8", {0x01, 0x02, 0xF8}, false, kExitOk},
      {"missing", {}, false, kExitOk},
      {"wrong: 0x00", {0x00}, false, kExitUpdateFailed},
      {"wrong: 0xF9", {0xF9}, false, kExitUpdateFailed},
      // The last try reads the data port after its wait runs out and finds 0xF8.
      {"0xF8 without OBF", {0xF8}, true, kExitOk},
  };
  std::vector<Result> results;
  for (const Case& c : cases) {
    sim::MachineConfig config;
    config.Ec.FlashSize = 4 * 65536;
    config.Ec.SizeReply = 0x80;
    config.Volumes = {volume.Path()};
    config.Args = {u"EC.BIN", u"/p", u"/y"};
    config.TraceEnabled = false;
    config.Flash.assign(4 * 65536, 0x11);
    config.Ec.EraseCompletionLength = static_cast<uint8_t>(c.Completion.size());
    for (size_t i = 0; i < c.Completion.size(); i++) config.Ec.EraseCompletion[i] = c.Completion[i];
    config.Ec.ChipEraseNoObf = c.NoObf;
    sim::Boot(config);
    sim::RunTarnwick();
    const sim::Machine& m = sim::TheMachine();
    results.push_back({std::string("chip erase completion ") + c.Name, m.PortOps});
    EXPECT_EQ(m.ExitCode, c.ExitCode) << c.Name;
    EXPECT_LE(m.PortOps, kPortOpsBound) << c.Name;
    std::vector<uint8_t> flash = sim::FlashContents();
    // The erase happened either way; a failed erase is never followed by programming.
    if (c.ExitCode == kExitOk) EXPECT_EQ(flash, image) << c.Name;
    else EXPECT_EQ(flash, std::vector<uint8_t>(4 * 65536, 0xFF)) << c.Name;
  }
  PrintWorstCases(results);
}

// A 192 or 256 KB part flashed with a 128 KB image (the ROM-size rule holds
// the run to two blocks) still reports the end of its chip erase. The byte is
// read right after the erase, also from an EC that keeps IBF set for a moment
// after each write; read later, it would open block 0's blank check and fail
// every pass, leaving the flash erased.
TEST(EcFaultMatrix, PartAnswersItsChipEraseWhateverTheImageSpan) {
  testing_support::TempDir volume;
  const std::vector<uint8_t> image = SampleImage(100000);
  volume.Write("EC.BIN", image);
  for (uint32_t blocks : {3u, 4u}) {
    for (uint32_t busy : {0u, 1u}) {
      const std::string row = std::to_string(blocks) + " blocks, IBF busy " + std::to_string(busy);
      sim::MachineConfig config;
      config.Ec.FlashSize = blocks * 65536;
      config.Ec.SizeReply = blocks == 4 ? 0x80 : 0x40;
      config.Ec.IbfBusyReads = busy;
      config.Flash.assign(config.Ec.FlashSize, 0x11);
      config.Volumes = {volume.Path()};
      config.Args = {u"EC.BIN", u"/p", u"/y", u"/k"};
      sim::Boot(config);
      sim::RunTarnwick();
      EXPECT_EQ(sim::TheMachine().ExitCode, kExitOk) << row;
      EXPECT_EQ(testing_support::CountOf(console_text::Text(), " Blank Check success"), 1u) << row;
      std::vector<uint8_t> expected = image;
      expected.resize(config.Ec.FlashSize, 0xFF);
      EXPECT_EQ(sim::FlashContents(), expected) << row;
      // After 0x01 and its four parameter bytes, the first data read is the
      // completion byte, and it comes before the first block read (0x03).
      std::vector<std::pair<bool, uint8_t>> wire;  // (command write, value) or (data read, value)
      for (const sim::PortAccess& a : sim::TheMachine().Trace) {
        if (a.Write && a.Port == 0x66) wire.push_back({true, a.Value});
        if (!a.Write && a.Port == 0x62) wire.push_back({false, a.Value});
      }
      const std::vector<std::pair<bool, uint8_t>> erase = {{true, 0x01}, {true, 0}, {true, 0}, {true, 0}, {true, 0}};
      auto at = std::search(wire.begin(), wire.end(), erase.begin(), erase.end());
      ASSERT_NE(at, wire.end()) << row;
      at += erase.size();
      ASSERT_NE(at, wire.end()) << row;
      EXPECT_EQ(*at, std::make_pair(false, uint8_t{0xF8})) << row;
      // Read as the erase's answer, not swept up later after the timed wait.
      const std::vector<uint64_t>& stalls = sim::TheMachine().Stalls;
      EXPECT_EQ(std::count(stalls.begin(), stalls.end(), 15000u), 0) << row;
    }
  }
}

// Boot-last programming (mode reply 0x5A): the first kilobyte is written
// last, by the 0x06 stream, so an EC that dies before it leaves the boot
// sector erased.
TEST(EcFaultMatrix, BootLastUpdate) {
  const std::vector<Row> rows = {
      {"boot-last: clean run", [](sim::MachineConfig&, const PhaseStarts&) {}, kExitOk, New, ""},
      // The costliest run of the matrix (see the header): the first pass
      // waits out the dead stream, every later sweep stops after 16 sectors.
      {"boot-last: EC dies after 1000 bytes of block 0",
       [](sim::MachineConfig& c, const PhaseStarts& p) { DieAfter(c, p.ProgramData + 1000); }, kExitUpdateFailed,
       [](const PhaseStarts&) { return PartlyNew(1024, 1000); }, ""},
  };
  std::vector<Result> results;
  RunRows(rows, {}, 0x5A, &results);
  PrintWorstCases(results);
}

// Stale bytes queued before the mode query: the first of them is taken as
// the mode reply. What happens then is pinned here.
TEST(EcFaultMatrix, StaleBytesBeforeTheModeQuery) {
  // What happens: the first stale byte is taken as the mode reply, the real
  // reply and the stale rest are read as ID bytes (the ID line is shifted),
  // and what is left over is drained before the blank check's first read. A
  // stale nonzero byte turns on the sector sweep and boot-last programming,
  // a stale 0x00 keeps the chip erase and straight programming, whatever the
  // EC really answered. This EC takes either way, so every run verifies; an
  // EC that needs its boot sector last would get it first after a stale 0x00.
  struct Case {
    const char* Name;
    std::vector<uint8_t> Stale;
    int ExitCode;
    const char* Shown;
  } cases[] = {
      {"one stale 0x5A", {0x5A}, kExitOk, "0x00 0xef 0x40      Rom Size(64)K\nErase  ====="},
      {"one stale 0x00", {0x00}, kExitOk, "0x00 0xef 0x40      Rom Size(64)K\nErase ====="},
      {"three stale bytes", {0x01, 0x02, 0x03}, kExitOk, "0x02 0x03 0x00      Rom Size(64)K\nErase  ====="},
  };
  testing_support::TempDir volume;
  volume.Write("EC.BIN", OneBlockImage());
  std::vector<Result> results;
  for (const Case& c : cases) {
    sim::MachineConfig config = BaseConfig(volume);
    config.Ec.HasModeReply = true;
    config.Ec.ModeReply = 0x00;
    config.Ec.StaleBeforeCommand = 0xF0;
    config.Ec.StaleLength = static_cast<uint8_t>(c.Stale.size());
    for (size_t i = 0; i < c.Stale.size(); i++) config.Ec.StaleBytes[i] = c.Stale[i];
    sim::Boot(config);
    sim::RunTarnwick();
    const sim::Machine& m = sim::TheMachine();
    results.push_back({std::string("stale before 0xF0: ") + c.Name, m.PortOps});
    std::printf("  %s: exit %d\n", c.Name, m.ExitCode);
    const std::string text = console_text::Text();
    size_t id = text.find("Get Flash Part ID");
    if (id != std::string::npos) std::printf("    %s", text.substr(id, text.find('\n', id) - id + 1).c_str());
    EXPECT_EQ(m.ExitCode, c.ExitCode) << c.Name;
    EXPECT_NE(text.find(c.Shown), std::string::npos) << c.Name << ":\n" << text;
    if (m.ExitCode == kExitOk) EXPECT_EQ(sim::FlashContents(), OneBlockImage()) << c.Name;
    else EXPECT_NE(sim::FlashContents(), OneBlockImage()) << c.Name;
  }
  PrintWorstCases(results);
}

// Found by the EC-reply fuzzer: stale bytes queued before every EC RAM read
// (0x80) are read in place of the adapter status. The AC check then sees 0x06
// (bit 0 clear) and refuses the update: a safe refusal, nothing flashed.
TEST(EcFaultMatrix, StaleBytesBeforeEcRamReadsReadAsNoAdapter) {
  testing_support::TempDir volume;
  volume.Write("EC.BIN", OneBlockImage());
  sim::MachineConfig config = BaseConfig(volume);
  config.Args = {u"EC.BIN", u"/p", u"/y"};  // no /k: the AC check runs
  const uint8_t stale[] = {0x24, 0x06, 0x30, 0x30, 0x2E, 0x30};
  config.Ec.StaleBeforeCommand = 0x80;
  config.Ec.StaleLength = sizeof(stale);
  for (size_t i = 0; i < sizeof(stale); i++) config.Ec.StaleBytes[i] = stale[i];
  sim::Boot(config);
  sim::RunTarnwick();
  EXPECT_EQ(sim::TheMachine().ExitCode, kExitNoAdapter);
  EXPECT_NE(console_text::Text().find("Not found the AC adapter,insert the AC adapter please. Then try again.\n"),
            std::string::npos);
  EXPECT_EQ(sim::FlashContents(), OneBlockOldFlash());
  for (const std::string& e : sim::EventNames()) EXPECT_NE(e, "flash-mode-entered");
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

}  // namespace
