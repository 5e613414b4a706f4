// The EC's replies and faults through whole runs on the simulated machine:
// the size reply, the adapter readings, the project and version strings, the
// mode reply, the ID bytes, the chip erase's completion bytes, stale bytes
// queued before a command, a slow or byte-dropping EC and a flash cell that
// misbehaves.
//
// Input: a job byte, then the EC's settings in a fixed order (see Setup).
// Each setting is taken only while the input lasts, and an EC behaves well
// where its input ends: a reply cut short is completed (see Reply). So the
// tool seldom waits out a read bound (100,001 status reads) for a byte that
// never comes, which is where a run's time goes. Two targets share this run:
// fuzz_ec_replies erases (the whole flash, or one sector), short runs;
// fuzz_ec_update runs full updates, which read and write whole 64 KB blocks.
//
// The verdict must be true: an update that ends with exit code 0 has left the
// flash holding the image, an erase-only run with exit code 0 has erased the
// flash (as far as the EC's size reply tells) or changed nothing but its one
// sector, a refusal for want of an adapter leaves
// the flash alone, and every run ends in the shell in a bounded number of port
// operations with nothing left allocated or open.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "ec/board.h"
#include "fuzz/ec_reply_run.h"
#include "fuzz/fuzz_support.h"
#include "sim/ec_settings.h"
#include "sim/machine.h"

namespace {

// Five failed passes over four blocks, each read timing out at the stream
// guard's limit, stay far below this.
constexpr uint64_t kMaxPortOps = 60000000;
constexpr size_t kImageSize = 4096;  // one block's span keeps an update short
constexpr uint32_t kBlock = 65536;

const std::vector<uint8_t>& Image() {
  static const std::vector<uint8_t> image = fuzz::SeedImage(kImageSize, "TESTPRJ");
  return image;
}

// What the flash holds at power-on: an older image of the same project.
const std::vector<uint8_t>& OldFlash(uint32_t size) {
  static std::vector<uint8_t> flashes[4];
  std::vector<uint8_t>& flash = flashes[size / kBlock - 1];
  if (flash.empty()) {
    flash = fuzz::SeedImage(size, "TESTPRJ");
    flash[kImageSize / 2] ^= 0x5A;  // differs from the image it is updated with
  }
  return flash;
}

enum class Job { Update, UpdateAsked, EraseAll, EraseSector };

using Completion = void (*)(std::vector<uint8_t>* reply);

// Job byte. Updates: bit 3 without /y, answering the project prompt with the
// key of bit 4; bits 5 to 7 add an option (kUpdateOptions). Erases: bits 0 to
// 2 pick the whole flash (3, 4, 5, 7) or one sector, bit 5 adds the sector
// sweep (/l) to an erase of the whole flash.
Job JobOf(uint8_t job, EcReplyJobs jobs) {
  if (jobs == EcReplyJobs::Updates) return (job & 8) ? Job::UpdateAsked : Job::Update;
  switch (job & 7) {
    case 3:
    case 4:
    case 5:
    case 7: return Job::EraseAll;
    default: return Job::EraseSector;
  }
}

// The last three rewrite the autoload bytes, so the flash holds a patched image.
const char16_t* const kUpdateOptions[8] = {nullptr, u"/l", u"/g", u"/f2", u"/f8", u"/an", u"/ad", u"/af"};

// A reply from the input: a length byte, then that many bytes (at most
// capacity). An EC that behaves well completes it (a '$' after a name, the
// ID's four bytes, the erase's 0xF8), so that the tool need not wait out a
// byte that never comes; the length byte 0xFF is an EC that does not: its
// bytes go out as they are.
void Reply(fuzz::InputReader& in, uint8_t* out, uint8_t* length, size_t capacity, Completion complete) {
  const uint8_t lengthByte = in.Byte();
  std::vector<uint8_t> bytes = in.Bytes(lengthByte == 0xFF ? in.Byte() % (capacity + 1) : lengthByte % (capacity + 1));
  if (lengthByte != 0xFF) complete(&bytes);
  if (bytes.size() > capacity) bytes.resize(capacity);
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  *length = static_cast<uint8_t>(bytes.size());
}

void EndName(std::vector<uint8_t>* name) {
  if (name->size() < 16 && std::find(name->begin(), name->end(), '$') == name->end()) name->push_back('$');
}

void FullId(std::vector<uint8_t>* id) {
  static const uint8_t kId[4] = {0xEF, 0x40, 0x13, 0x00};
  while (id->size() < 4) id->push_back(kId[id->size()]);
}

void EraseDone(std::vector<uint8_t>* completion) {
  if (std::find(completion->begin(), completion->end(), 0xF8) == completion->end()) completion->push_back(0xF8);
}

// The EC, setting by setting while the input lasts.
// Returns the flags byte (0 when the input had none).
uint8_t Setup(fuzz::InputReader& in, sim::EcConfig* ec, uint16_t* sector) {
  if (in.Left() == 0) return 0;
  const uint8_t flags = in.Byte();
  ec->FlashSize = kBlock * (1 + ((flags >> 1) & 3));
  ec->SizeReply = sim::EcSizeReplyFor(ec->FlashSize);
  ec->HasModeReply = (flags & 0x11) != 0x10;  // no reply: the tool waits out its read bound
  if (in.Left() == 0) return flags;
  ec->ModeReply = in.Byte();
  if (in.Left() == 0) return flags;
  const uint8_t sizeReply = in.Byte();
  if (flags & 8) ec->SizeReply = sizeReply;  // otherwise the EC tells its size as it is
  if (in.Left() == 0) return flags;
  const uint8_t timing = in.Byte();
  ec->IbfBusyReads = (timing >> 6) & 1;  // a slower EC: IBF shows for one more status read
  ec->DropWritesWhileIbf = (timing >> 7) & 1;
  if (timing & 1) {
    ec->AcReadings[0] = timing & 2 ? 0x01 : 0x00;  // the first reading is thrown away
    ec->AcReadings[1] = timing & 4 ? 0x01 : 0x00;
    ec->AcReadingsLength = 2;
  }
  *sector = static_cast<uint16_t>(1 + ((timing >> 3) & 7) * 37);
  if (in.Left() == 0) return flags;
  ec->ProjectFromFlash = false;
  Reply(in, ec->Project, &ec->ProjectLength, sizeof(ec->Project), EndName);
  if (in.Left() == 0) return flags;
  ec->VersionFromFlash = false;
  Reply(in, ec->Version, &ec->VersionLength, sizeof(ec->Version), EndName);
  if (in.Left() == 0) return flags;
  Reply(in, ec->Id, &ec->IdLength, sizeof(ec->Id), FullId);
  if (in.Left() == 0) return flags;
  Reply(in, ec->EraseCompletion, &ec->EraseCompletionLength, sizeof(ec->EraseCompletion), EraseDone);
  if (in.Left() == 0) return flags;
  ec->StaleBeforeCommand = in.Byte();
  Reply(in, ec->StaleBytes, &ec->StaleLength, sizeof(ec->StaleBytes), [](std::vector<uint8_t>*) {});
  if (in.Left() < 3) return flags;
  // One flash cell of the image's span that misbehaves.
  const uint8_t kind = in.Byte();
  sim::EcFlashFault& fault = ec->FlashFaults[ec->FlashFaultCount++];
  fault = sim::EcFlashFault{};
  fault.Address = (static_cast<uint32_t>(in.Byte()) << 4 | in.Byte()) % kImageSize;
  fault.StuckZeroMask = (kind & 3) == 0 ? kind : 0;
  fault.NeverPrograms = (kind & 3) == 1;
  fault.ReadsWrong = (kind & 3) == 2;
  fault.EraseLeavesInPass = (kind & 3) == 3 ? static_cast<int8_t>(1 + (kind >> 6)) : 0;
  return flags;
}

}  // namespace

void RunEcReplyInput(const uint8_t* data, size_t size, EcReplyJobs jobs) {
  static bool volumeReady = false;
  if (!volumeReady) {
    fuzz::ClearScratchVolume();
    fuzz::WriteFile(fuzz::ScratchVolume() + "/EC.BIN", Image());
    volumeReady = true;
  }

  fuzz::InputReader in(data, size);
  const uint8_t jobByte = in.Byte();
  const Job job = JobOf(jobByte, jobs);
  sim::MachineConfig config;
  sim::EcConfig& ec = config.Ec;
  uint16_t sector = 1;
  const uint8_t flags = Setup(in, &ec, &sector);
  // An update reads and writes whole blocks: a 64K part unless bit 5 of the
  // EC's flags keeps the larger one (an erase is as short on any part).
  if ((job == Job::Update || job == Job::UpdateAsked) && !(flags & 0x20)) {
    ec.FlashSize = kBlock;
    if (!(flags & 8)) ec.SizeReply = sim::EcSizeReplyFor(ec.FlashSize);
  }
  config.Flash = OldFlash(ec.FlashSize);
  config.Volumes = {fuzz::ScratchVolume()};
  config.TraceEnabled = false;
  config.Args = {u"EC.BIN", u"/p"};
  if (job != Job::UpdateAsked) config.Args.push_back(u"/y");
  config.Keys = {InputKey{0, static_cast<Char16>((jobByte & 0x10) ? u'Y' : u'n')}};
  const char16_t* const extra = job == Job::EraseSector ? nullptr : kUpdateOptions[jobByte >> 5];
  const std::string digits = std::to_string(sector);
  const std::u16string eraseSector = u"/e" + std::u16string(digits.begin(), digits.end());
  if (job == Job::EraseSector) config.Args.push_back(eraseSector);
  if (job == Job::EraseAll) config.Args.push_back(u"/e");
  if (job == Job::EraseAll && (jobByte & 0x20)) config.Args.push_back(u"/l");
  if ((job == Job::Update || job == Job::UpdateAsked) && extra != nullptr) config.Args.push_back(extra);
  sim::Boot(config);
  const std::vector<uint8_t> before = sim::FlashContents();  // cells stuck at 0 show from power-on
  sim::RunTarnwick();

  const sim::Machine& m = sim::TheMachine();
  if (m.PortOps > kMaxPortOps) fuzz::Broken("too many port operations", std::to_string(m.PortOps));
  if (m.PoweredOff) fuzz::Broken("the run did not end in the shell");
  const std::vector<uint8_t> flash = sim::FlashContents();
  const bool patched = (jobByte >> 5) >= 5;
  if (m.ExitCode == kExitOk && job == Job::EraseAll) {
    // As far as the tool knows the flash (an EC may report a smaller one);
    // /e does not read back, so a cell that erases wrong is not its fault.
    // (The verdicts compare with memcmp: a loop here would be instrumented byte by byte.)
    const size_t known = std::min<size_t>(flash.size(), kBlock * static_cast<size_t>(gEcBoard.BlockCount));
    std::vector<uint8_t> seen(flash.begin(), flash.begin() + known);
    if (ec.FlashFaultCount != 0 && ec.FlashFaults[0].Address < known) seen[ec.FlashFaults[0].Address] = 0xFF;
    if (seen != std::vector<uint8_t>(known, 0xFF)) fuzz::Broken("exit code 0 but the flash is not erased");
  } else if (m.ExitCode == kExitOk && job == Job::EraseSector) {
    // The sector is not judged, but nothing else may change.
    const size_t start = std::min<size_t>((sector - 1u) * 1024u, flash.size());
    const size_t end = std::min<size_t>(start + 1024, flash.size());
    if (std::memcmp(flash.data(), before.data(), start) != 0 ||
        std::memcmp(flash.data() + end, before.data() + end, flash.size() - end) != 0)
      fuzz::Broken("a sector erase changed another sector");
  } else if (m.ExitCode == kExitOk && !patched && !m.KeysExhausted) {
    const std::vector<uint8_t>& image = Image();
    // With /g the reserved tail of the last block is kept, not programmed.
    size_t compared = std::min(image.size(), flash.size());
    if (!std::equal(image.begin(), image.begin() + compared, flash.begin()))
      fuzz::Broken("exit code 0 but the flash does not hold the image");
  } else if (m.ExitCode == kExitNoAdapter || m.ExitCode == kExitDeclined) {
    // Garbled EC RAM replies (stale bytes before 0x80) can read as "no
    // adapter": a refusal is safe as long as the flash was never touched.
    if (flash != before) fuzz::Broken("refused, flash changed");
    for (const std::string& e : sim::EventNames())
      if (e == "flash-mode-entered") fuzz::Broken("refused after entering flash mode");
  } else if (m.ExitCode != kExitOk && m.ExitCode != kExitUpdateFailed) {
    fuzz::Broken("unexpected exit code", std::to_string(m.ExitCode));
  }
  fuzz::CheckAuditClean("update run");
  fuzz::ReleaseMachine();
}
