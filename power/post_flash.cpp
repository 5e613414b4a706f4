// The end of every flashing run: the EC leaves flash mode, then (unless the
// user stays in the shell) a countdown runs and the EC is asked several times
// to power the machine off, so one lost 0x95 does not leave it running.
#include "power/post_flash.h"

#include "ec/ec_channel.h"
#include "flash/flash_mode.h"
#include "platform/format.h"
#include "platform/platform.h"
#include "power/burn_in.h"

namespace {

constexpr size_t kCountdownColumn = 18;
constexpr size_t kCountdownRow = 24;
constexpr size_t kDigitColumn = 53;  // the first "%d" of the countdown line
constexpr size_t kVproRow = 25;
constexpr size_t kOneSecond = 1000000;
constexpr uint8_t kVproEarlyPowerOffAt = 4;  // vPro machines need the request ~4 s early

// Takes the EC out of flash mode as the action asks. False: stay in the shell.
bool LeaveFlashMode(PostFlashAction action, uint8_t delay) {
  switch (action) {
    case PostFlashAction::StayInShell:
      ExitFlashMode();
      return false;
    case PostFlashAction::ColdBoot:
      ExitFlashMode();
      EcArmAutoPowerOn(delay);
      return true;
    case PostFlashAction::WatchdogReset:
      EcSendCommand(EC_FLASH_EXIT_WATCHDOG);
      EcSendCommand(delay);
      return true;
    case PostFlashAction::Shutdown:
    default:
      ExitFlashMode();
      return true;
  }
}

}  // namespace

void RunPostFlashAction(const PostFlashChoice& choice) {
  const uint8_t delay = choice.DelaySeconds;
  const bool vpro = choice.VproSystem;
  if (!LeaveFlashMode(choice.Action, delay)) return;

  ConSetAttribute(kAttrGreen);
  if (choice.ShowRunCount) {
    PrintAt(kCountdownColumn, kCountdownRow, u"Down count to shutdown,  Waitting (%d) second(s) ..... (%d)", delay,
            gBurnInRunCount);
  } else {
    PrintAt(kCountdownColumn, kCountdownRow, u"Down count to shutdown,  Waitting (%d) second(s) .....", delay);
  }
  ConSetAttribute(kAttrRed);

  for (uint8_t k = delay; k >= 1; k--) {
    PrintAt(kDigitColumn, kCountdownRow, u"%d", k);
    if (vpro && k == kVproEarlyPowerOffAt) EcRequestPowerOff();
    Stall(kOneSecond);
  }

  if (vpro) {
    Stall(kOneSecond);
    EcRequestPowerOff();
    ConSetAttribute(kAttrBrown);
    PrintAt(kCountdownColumn, kVproRow, u"In current system, Please kindly Waitting for 1~4 seconds to shutdown");
  } else {
    EcRequestPowerOff();
  }

  Stall(kOneSecond);
  EcRequestPowerOff();
  Stall(kOneSecond);
  EcRequestPowerOff();
  Stall(2 * kOneSecond);
  ConSetAttribute(kAttrNormal);
}
