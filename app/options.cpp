// The slash options after the image name, read into gOptionState.
#include "app/options.h"

#include "app/help_list.h"
#include "app/option_state.h"
#include "ec/board.h"
#include "ec/ec_channel.h"

namespace {

// The last sector whose byte address still fits the three address bytes of
// the sector erase command.
constexpr uint32_t kMaxEraseSector = 16384;

// One argument's option letter and what stands behind it. Only the low 8 bits
// of each UCS-2 character count; Third is 0 when the argument has no third
// character.
struct OptionChars {
  uint8_t Letter;
  uint8_t Third;
  const Char16* Rest;  // the third character onward (the /e number)
};

uint8_t Low8(Char16 c) { return static_cast<uint8_t>(c & 0xFF); }

uint8_t FoldCase(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + ('a' - 'A')) : c; }

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Splits an argument into its letter and third character without ever
// reading past its terminator. False when it has no option letter at all.
bool SplitArgument(const Char16* argument, OptionChars* out) {
  if (argument[0] == 0 || argument[1] == 0) return false;
  out->Letter = FoldCase(Low8(argument[1]));
  out->Rest = argument + 2;
  out->Third = argument[2] == 0 ? 0 : FoldCase(Low8(argument[2]));
  return true;
}

// /e: every character from the third on adds a decimal place, digit or not,
// in wrapping 32-bit arithmetic. False when the sector lies beyond the flash
// address range.
bool ParseEraseSector(const Char16* rest) {
  uint32_t sector = 0;
  for (const Char16* p = rest; *p != 0; p++) {
    sector = sector * 10u + static_cast<uint32_t>(Low8(*p)) - 48u;
  }
  if (sector > kMaxEraseSector) return false;
  gOptionState.EraseOnly = 1;
  gOptionState.EraseSector = sector;
  return true;
}

// /f: the digit names the flash size as the help list shows: 2 for 128 KB, 4 for
// 192 KB, 8 for 256 KB, any other (or none) for 64 KB.
int8_t BlockCountForDigit(uint8_t third) {
  switch (third) {
    case '2': return 2;
    case '4': return 3;
    case '8': return 4;
    default: return 1;
  }
}

void SetPostAction(PostFlashAction action, uint8_t third) {
  gOptionState.PostAction = action;
  if (IsDigit(third)) gOptionState.DelaySeconds = static_cast<uint8_t>(third - '0');
}

enum class OptionResult : uint8_t { Accepted, Rejected, Finished };

OptionResult ApplyOption(const OptionChars& option) {
  OptionState& state = gOptionState;
  const uint8_t third = option.Third;
  switch (option.Letter) {
    case 'a':
      switch (third) {
        case 'd': state.Autoload = AutoloadMode::Disable; return OptionResult::Accepted;
        case 'n': state.Autoload = AutoloadMode::On; return OptionResult::Accepted;
        case 'f': state.Autoload = AutoloadMode::Off; return OptionResult::Accepted;
        case 'h': PrintHelpList(); return OptionResult::Rejected;
        default: return OptionResult::Rejected;
      }
    case 'b':
      if (third == 'i') {
        state.BurnInSetup = 1;
        return OptionResult::Finished;
      }
      if (third == 'r') {
        state.BurnInCount = 1;
        return OptionResult::Accepted;
      }
      return OptionResult::Rejected;
    case 'c': SetPostAction(PostFlashAction::ColdBoot, third); return OptionResult::Accepted;
    case 'e': return ParseEraseSector(option.Rest) ? OptionResult::Accepted : OptionResult::Rejected;
    case 'f': EcBoardSetBlockCount(BlockCountForDigit(third)); return OptionResult::Accepted;
    case 'g': state.KeepReserved = 1; return OptionResult::Accepted;
    case 'h': SetPostAction(PostFlashAction::Shutdown, third); return OptionResult::Accepted;
    case 'i': return OptionResult::Accepted;
    case 'k': state.SkipAcCheck = 1; return OptionResult::Accepted;
    case 'l': state.SectorEraseMode = 1; return OptionResult::Accepted;
    case 'o':
      SelectEcPorts(IsDigit(third) ? static_cast<uint8_t>(third - '0') : 0);
      return OptionResult::Accepted;
    case 'p': state.PostAction = PostFlashAction::StayInShell; return OptionResult::Accepted;
    case 'r': state.DumpRom = 1; return OptionResult::Accepted;
    case 's': return OptionResult::Accepted;
    case 'u': return OptionResult::Accepted;
    case 'v': state.VproSystem = 1; return OptionResult::Accepted;
    case 'w': SetPostAction(PostFlashAction::WatchdogReset, third); return OptionResult::Accepted;
    case 'y': state.ForceUpdate = 1; return OptionResult::Accepted;
    default: return OptionResult::Rejected;
  }
}

}  // namespace

bool ParseOptions(size_t argc, Char16** argv) {
  OptionState& state = gOptionState;
  state.PostAction = PostFlashAction::Shutdown;
  state.Autoload = AutoloadMode::None;
  state.DumpRom = 0;
  state.DelaySeconds = 0;
  state.SkipAcCheck = 0;
  state.EraseOnly = 0;
  state.SectorEraseMode = 0;

  for (size_t i = 2; i < argc; i++) {
    const Char16* argument = argv[i];
    // The second argument may be a plain file name (the burn-in set-up's
    // second image); from the third on every argument is an option, whatever
    // its first character.
    if (i == 2 && Low8(argument[0]) != '/') continue;
    OptionChars option;
    if (!SplitArgument(argument, &option)) return false;
    switch (ApplyOption(option)) {
      case OptionResult::Accepted: break;
      case OptionResult::Rejected: return false;
      case OptionResult::Finished: return true;
    }
  }
  return true;
}
