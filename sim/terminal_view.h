// Draws the simulated console on a real terminal as the firmware's console
// would look: the screen model's cells with ANSI colours, the cursor where the
// model has it. Or, plain, every character the program writes as it comes.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

class TerminalView {
 public:
  // ansi: draw the screen; otherwise pass the text through unchanged.
  TerminalView(std::FILE* out, bool ansi) : out_(out), ansi_(ansi) {}
  // Hooks the view to the machine's console (call after Boot).
  void Attach();
  // Leaves the terminal below the drawn screen with normal colours.
  void Finish();

  // The ANSI colour sequence of a firmware text attribute.
  static std::string AttributeSequence(size_t attribute);

 private:
  void OnCall(const ConsoleCall& call);
  void Redraw(const Console& console);

  std::FILE* out_;
  bool ansi_;
  std::vector<std::vector<ScreenCell>> shown_;  // what the terminal shows now
  size_t shownAttribute_ = SIZE_MAX;
  bool cursorShown_ = true;
};

}  // namespace sim
