// Command lines through ParseOptions and through the main sequence up to the
// image load (which fails or finds a stray file: the volume holds no image).
//
// Input: one byte that picks the shell's current directory and whether the
// adapter is present, then the arguments after the program name, separated
// by NUL bytes; 0xFE followed by two bytes puts in one UCS-2 character
// (little-endian), so that characters above 0xFF and their low bytes reach
// the parser.
#include <cstdint>
#include <string>
#include <vector>

#include "app/main_sequence.h"
#include "app/option_state.h"
#include "app/options.h"
#include "ec/ec_channel.h"
#include "fuzz/fuzz_support.h"
#include "sim/machine.h"

namespace {

constexpr uint64_t kMaxPortOps = 4000000;  // a dump of four blocks stays well below

std::vector<std::u16string> SplitArguments(fuzz::InputReader& in) {
  std::vector<std::u16string> args(1);
  while (in.Left() > 0 && args.size() <= 12) {
    uint8_t b = in.Byte();
    if (b == 0) {
      args.emplace_back();
    } else if (b == 0xFE && in.Left() >= 2) {
      uint8_t lo = in.Byte(), hi = in.Byte();
      char16_t c = static_cast<char16_t>(lo | (hi << 8));
      if (c == 0) c = 0x100;
      args.back().push_back(c);
    } else {
      args.back().push_back(b);
    }
  }
  return args;
}

void CheckParsedState() {
  const OptionState& s = gOptionState;
  if (gEcBoard.BlockCount < 1 || gEcBoard.BlockCount > 4) fuzz::Broken("block count out of range");
  if (s.DelaySeconds > 9) fuzz::Broken("delay out of range");
  if (s.EraseOnly && s.EraseSector > 16384) fuzz::Broken("erase sector beyond the flash address range");
  if (static_cast<uint8_t>(s.PostAction) > 3 || static_cast<uint8_t>(s.Autoload) > 3) fuzz::Broken("enum value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader in(data, size);
  const uint8_t setup = in.Byte();
  std::vector<std::u16string> args = SplitArguments(in);

  fuzz::ClearScratchVolume();
  fuzz::WriteFile(fuzz::ScratchVolume() + "/EFI/BOOT/FlashTimes.TXT", {'4', '1'});

  sim::MachineConfig config;
  config.Ec.FlashSize = 65536;
  config.Ec.SizeReply = static_cast<uint8_t>(setup & 0xC0);  // 0x40, 0x80: three and four blocks
  config.Volumes = {fuzz::ScratchVolume()};
  config.PowerOff = sim::PowerOffMode::Halt;
  config.TraceEnabled = false;
  static const char16_t* const kDirectories[] = {u"FS0:\\", u"FS0:\\EC\\TOOLS", u"FS0:", u"FS10:\\A\\B", nullptr};
  const char16_t* cwd = kDirectories[(setup & 0x07) % 5];
  if (cwd == nullptr) config.CurrentDirectory.reset();
  else config.CurrentDirectory = cwd;
  if (setup & 0x08) config.Ec.AcReadings[0] = 0, config.Ec.AcReadingsLength = 1;
  config.Args = args;

  // The parser alone, on the same arguments.
  sim::Boot(config);
  {
    std::vector<std::u16string> storage = {u"tarnwick"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<Char16*> argv;
    for (auto& s : storage) argv.push_back(reinterpret_cast<Char16*>(&s[0]));
    argv.push_back(nullptr);
    ResetOptionState();
    gEcBoard.BlockCount = 1;
    if (ParseOptions(argv.size() - 1, argv.data())) CheckParsedState();
  }

  // The whole main sequence.
  sim::Boot(config);
  sim::RunTarnwick();
  const sim::Machine& m = sim::TheMachine();
  if (m.PortOps > kMaxPortOps) fuzz::Broken("too many port operations", std::to_string(m.PortOps));
  if (!m.PoweredOff && (m.ExitCode < 0 || m.ExitCode > 6)) fuzz::Broken("exit code", std::to_string(m.ExitCode));
  fuzz::CheckAuditClean("command line run");
  return 0;
}
