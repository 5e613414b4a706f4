#include "app/main_sequence.h"
#include "platform/platform.h"

// Takes Argc/Argv from the shell (the parameters protocol first, then the
// older shell interface), disarms the firmware's watchdog and runs the main
// sequence once.
EfiStatus TarnwickEntry() {
  size_t argc = 0;
  Char16** argv = nullptr;
  if (EfiIsError(ShellParametersArgs(&argc, &argv)) && EfiIsError(ShellInterfaceArgs(&argc, &argv))) {
    return kEfiUnsupported;
  }
  // A boot option may have left the firmware's watchdog armed; a long update
  // must not be cut by its reset halfway through programming.
  PlatformDisableWatchdog();
  int code = FlashAppMain(argc, argv);
  PlatformNoteExitCode(code);
  return code == kExitOk ? kEfiSuccess : kEfiUnsupported;
}
