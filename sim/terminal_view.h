// Draws the simulated console on a real terminal as the firmware's console
// would look: the screen model's cells with ANSI colours, the cursor where the
// model has it. Or, plain, every character the program writes as it comes.
//
// On a terminal with fewer rows than the console (one is kept free below the
// view for what follows the run) the view is a window that follows the
// cursor, and every line the program wrote is kept: when the window moves
// down, the lines above it scroll into the terminal's scrollback in order,
// and runs of blank rows are drawn as one, so that a message at the top and
// a line the program prints far below it stay on screen together. Columns
// beyond the terminal's width are not drawn. At the end the cursor is left
// below the last line drawn.
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
  // The console's lines the view may show, by their number since the start
  // (a row's number is its row plus the rows scrolled off before it).
  std::vector<size_t> DisplayLines(const Console& console) const;
  const std::vector<ScreenCell>& LineCells(const Console& console, size_t line) const;
  // Brings the view up to date with lines[from], lines[from + 1], ... on its
  // rows, drawing only the cells that changed.
  void Paint(const Console& console, const std::vector<size_t>& lines, size_t from, std::string* out);
  // Runs of blank rows drawn as one: the terminal has fewer rows than the console.
  bool Compact() const;

  std::FILE* out_;
  bool ansi_;
  std::vector<std::vector<ScreenCell>> shown_;  // what the terminal shows now
  size_t shownAttribute_ = SIZE_MAX;
  bool cursorShown_ = true;
  size_t termColumns_ = 0, termRows_ = 0;
  size_t top_ = 0;  // the line (see DisplayLines) shown on the terminal's first row
  size_t cursorRow_ = 0;  // the view row of the console's cursor
  std::FILE* log_ = nullptr;
  bool atLineStart_ = true;

  size_t ViewRows() const;
  size_t ViewColumns() const;
};

}  // namespace sim
