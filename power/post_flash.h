// The post-flash power action.
#pragma once

#include <stdint.h>

enum class PostFlashAction : uint8_t { Shutdown = 0, ColdBoot = 1, StayInShell = 2, WatchdogReset = 3 };

// What the user chose for the end of the run.
struct PostFlashChoice {
  PostFlashAction Action;
  uint8_t DelaySeconds;  // 0 to 9
  bool VproSystem;       // ask for the power-off about four seconds early
  bool ShowRunCount;     // a burn-in run: the countdown shows the run count
};

// Leaves flash mode and powers the machine down as chosen; returns only when
// the machine stays up.
void RunPostFlashAction(const PostFlashChoice& choice);
