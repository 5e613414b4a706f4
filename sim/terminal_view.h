// Draws the simulated console on a real terminal as the firmware's console
// would look: the screen model's cells with ANSI colours, the cursor where the
// model has it. Or, plain, every character the program writes as it comes.
//
// On a terminal smaller than the console the view is a window that follows
// the cursor: it shows as many rows as fit (one row is kept free below it for
// what follows the run) and scrolls so that the row being written is always on
// screen; columns beyond the terminal's width are not drawn.
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

  // The terminal's size (call before Attach); 0: as large as the console.
  void SetTerminalSize(size_t columns, size_t rows) {
    termColumns_ = columns;
    termRows_ = rows;
  }
  // Also writes the plain text (every character the program writes) to log.
  void SetLog(std::FILE* log) { log_ = log; }
  // Whether the last character written to out was a line end (or none was).
  bool AtLineStart() const { return atLineStart_; }
  bool Ansi() const { return ansi_; }
  // The escapes that end the ANSI view at any moment: normal colours, the
  // cursor shown, on the row below the view. Empty when plain.
  std::string RestoreSequence() const;

  // The size of the terminal behind fd; false when fd is no terminal.
  static bool QueryTerminalSize(int fd, size_t* columns, size_t* rows);

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
  size_t termColumns_ = 0, termRows_ = 0;
  size_t top_ = 0;  // the console row shown on the terminal's first row
  std::FILE* log_ = nullptr;
  bool atLineStart_ = true;

  size_t ViewRows() const;
  size_t ViewColumns() const;
};

}  // namespace sim
