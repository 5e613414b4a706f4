// The EC's replies through a whole update on the simulated machine: project
// and version strings, the size reply, the mode reply, the ID bytes, the
// chip erase's completion bytes and stale bytes queued before a command.
//
// The verdict must be true: a run that ends with exit code 0 has left the
// flash holding the image (an erase-only run aside), and every run ends in a
// bounded number of port operations with nothing left allocated or open.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "fuzz/fuzz_support.h"
#include "sim/machine.h"

namespace {

// Five failed passes over four blocks, each read timing out at the stream
// guard's limit, stay far below this.
constexpr uint64_t kMaxPortOps = 60000000;
constexpr size_t kImageSize = 4096;  // one block's span keeps a run short

const std::vector<uint8_t>& Image() {
  static const std::vector<uint8_t> image = fuzz::SeedImage(kImageSize, "TESTPRJ");
  return image;
}

void Fill(fuzz::InputReader& in, uint8_t* out, uint8_t* length, size_t capacity) {
  std::vector<uint8_t> bytes = in.Bytes(in.Byte() % (capacity + 1));
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  *length = static_cast<uint8_t>(bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool volumeReady = false;
  if (!volumeReady) {
    fuzz::ClearScratchVolume();
    fuzz::WriteFile(fuzz::ScratchVolume() + "/EC.BIN", Image());
    volumeReady = true;
  }

  fuzz::InputReader in(data, size);
  const uint8_t flags = in.Byte();
  sim::MachineConfig config;
  sim::EcConfig& ec = config.Ec;
  ec.FlashSize = 65536u * (1 + ((flags >> 1) & 3));
  ec.HasModeReply = (flags & 1) != 0;
  ec.ModeReply = in.Byte();
  ec.SizeReply = in.Byte();
  const uint8_t timing = in.Byte();
  ec.IbfBusyReads = (timing >> 6) & 1;  // a slower EC: IBF shows for one more status read
  ec.DropWritesWhileIbf = (timing >> 7) & 1;
  Fill(in, ec.Project, &ec.ProjectLength, sizeof(ec.Project));
  Fill(in, ec.Version, &ec.VersionLength, sizeof(ec.Version));
  Fill(in, ec.Id, &ec.IdLength, sizeof(ec.Id));
  Fill(in, ec.EraseCompletion, &ec.EraseCompletionLength, sizeof(ec.EraseCompletion));
  ec.StaleBeforeCommand = in.Byte();
  Fill(in, ec.StaleBytes, &ec.StaleLength, sizeof(ec.StaleBytes));

  config.Volumes = {fuzz::ScratchVolume()};
  config.TraceEnabled = false;
  config.Args = {u"EC.BIN", u"/p", u"/y"};
  static const char16_t* const kExtra[] = {nullptr, u"/l", u"/e", u"/e3", u"/g", u"/an", u"/f2", u"/f8"};
  if (const char16_t* extra = kExtra[(flags >> 3) & 7]) config.Args.push_back(extra);
  sim::Boot(config);
  sim::RunTarnwick();

  const sim::Machine& m = sim::TheMachine();
  if (m.PortOps > kMaxPortOps) fuzz::Broken("too many port operations", std::to_string(m.PortOps));
  if (m.PoweredOff) fuzz::Broken("the run did not end in the shell");
  const bool eraseOnly = ((flags >> 3) & 7) == 2 || ((flags >> 3) & 7) == 3;
  const bool patched = ((flags >> 3) & 7) == 5;
  if (m.ExitCode == kExitOk && !eraseOnly && !patched) {
    std::vector<uint8_t> flash = sim::FlashContents();
    const std::vector<uint8_t>& image = Image();
    // With /g the reserved tail of the last block is kept, not programmed.
    size_t compared = std::min(image.size(), flash.size());
    if (!std::equal(image.begin(), image.begin() + compared, flash.begin()))
      fuzz::Broken("exit code 0 but the flash does not hold the image");
    if (compared < image.size()) fuzz::Broken("exit code 0 but the image does not fit the flash");
  } else if (m.ExitCode == kExitNoAdapter) {
    // Garbled EC RAM replies (stale bytes before 0x80) can read as "no
    // adapter": a refusal is safe as long as the flash was never touched.
    if (sim::FlashContents() != std::vector<uint8_t>(ec.FlashSize, 0xFF)) fuzz::Broken("refused, flash changed");
    for (const std::string& e : sim::EventNames())
      if (e == "flash-mode-entered") fuzz::Broken("refused after entering flash mode");
  } else if (m.ExitCode != kExitOk && m.ExitCode != kExitUpdateFailed) {
    fuzz::Broken("unexpected exit code", std::to_string(m.ExitCode));
  }
  fuzz::CheckAuditClean("update run");
  return 0;
}
