#include "sim/terminal_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "sim/host_state.h"
#include "sim/interrupt_guard.h"

namespace sim {

namespace {

// Firmware colours are numbered blue=1, green=2, red=4; ANSI numbers red=1,
// green=2, blue=4.
constexpr int kAnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

}  // namespace

std::string TerminalView::AttributeSequence(size_t attribute) {
  size_t fg = attribute & 0x0F;
  size_t bg = (attribute >> 4) & 0x07;
  int fgCode = (fg >= 8 ? 90 : 30) + kAnsiColour[fg & 7];
  int bgCode = 40 + kAnsiColour[bg];
  return "\x1b[0;" + std::to_string(fgCode) + ";" + std::to_string(bgCode) + "m";
}

bool TerminalView::QueryTerminalSize(int fd, size_t* columns, size_t* rows) {
  struct winsize size;
  if (!isatty(fd) || ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
  *columns = size.ws_col;
  *rows = size.ws_row;
  return true;
}

size_t TerminalView::ViewRows() const {
  size_t rows = gMachine.Screen.Rows;
  if (termRows_ == 0 || rows < termRows_) return rows;
  return termRows_ > 1 ? termRows_ - 1 : 1;
}

size_t TerminalView::ViewColumns() const {
  size_t columns = gMachine.Screen.Columns;
  return termColumns_ != 0 && termColumns_ < columns ? termColumns_ : columns;
}

std::string TerminalView::RestoreSequence() const {
  if (!ansi_) return std::string();
  // CAN first: it cancels an escape sequence cut off half way.
  return "\x18\x1b[0m\x1b[?25h\x1b[" + std::to_string(ViewRows() + 1) + ";1H";
}

void TerminalView::Attach() {
  gHost.ConsoleObserver = [this](const ConsoleCall& call) { OnCall(call); };
  atLineStart_ = true;
  NoteStdoutAtLineStart(true);
  if (!ansi_) return;
  shown_.clear();
  top_ = 0;
  cursorRow_ = 0;
  std::fputs("\x1b[0m\x1b[2J\x1b[H", out_);
  std::fflush(out_);
}

void TerminalView::OnCall(const ConsoleCall& call) {
  if (call.What == ConsoleCall::Kind::Text && (log_ != nullptr || !ansi_)) {
    std::string text = ToUtf8(call.Text);
    if (log_ != nullptr) {
      std::fwrite(text.data(), 1, text.size(), log_);
      std::fflush(log_);
    }
    if (!ansi_ && !text.empty()) {
      std::fwrite(text.data(), 1, text.size(), out_);
      std::fflush(out_);
      atLineStart_ = text.back() == '\n';
      NoteStdoutAtLineStart(atLineStart_);
    }
  }
  if (ansi_) Redraw(gMachine.Screen);
}

namespace {

// Nothing to see: blanks on a black background.
bool IsBlankRow(const std::vector<ScreenCell>& cells) {
  for (const ScreenCell& cell : cells) {
    if (cell.Attribute == SIZE_MAX) continue;  // never drawn
    if ((cell.Char != u' ' && cell.Char != 0) || ((cell.Attribute >> 4) & 0x07) != 0) return false;
  }
  return true;
}

const std::vector<ScreenCell>& NoCells() {
  static const std::vector<ScreenCell> kNone;
  return kNone;
}

}  // namespace

bool TerminalView::Compact() const { return termRows_ != 0 && termRows_ <= gMachine.Screen.Rows; }

const std::vector<ScreenCell>& TerminalView::LineCells(const Console& console, size_t line) const {
  if (line >= console.Scrolled) {
    size_t row = line - console.Scrolled;
    return row < console.Screen.size() ? console.Screen[row] : NoCells();
  }
  size_t back = console.Scrolled - line;  // 1 for the row that scrolled off last
  return back <= console.ScrolledRows.size() ? console.ScrolledRows[console.ScrolledRows.size() - back] : NoCells();
}

std::vector<size_t> TerminalView::DisplayLines(const Console& console) const {
  // From the window's top (when the console still knows it) to the console's last row.
  size_t known = console.Scrolled - console.ScrolledRows.size();
  size_t first = top_ < known ? known : top_;
  if (first > console.Scrolled) first = console.Scrolled;
  size_t cursor = console.Scrolled + console.CursorRow;
  std::vector<size_t> lines;
  bool previousBlank = false;
  for (size_t line = first; line < console.Scrolled + console.Screen.size(); ++line) {
    bool blank = IsBlankRow(LineCells(console, line));
    if (!Compact() || !blank || !previousBlank || line == cursor) lines.push_back(line);
    previousBlank = blank;
  }
  return lines;
}

void TerminalView::Redraw(const Console& console) {
  std::string out;
  size_t rows = ViewRows(), columns = ViewColumns();
  std::vector<size_t> lines = DisplayLines(console);
  size_t cursorLine = console.Scrolled + console.CursorRow;
  size_t cursorIndex = 0;
  while (cursorIndex + 1 < lines.size() && lines[cursorIndex] < cursorLine) ++cursorIndex;
  // The window follows the cursor.
  size_t oldTop = 0;
  while (oldTop < lines.size() && lines[oldTop] < top_) ++oldTop;
  size_t window = oldTop;
  if (cursorIndex < window) window = cursorIndex;
  if (cursorIndex >= window + rows) window = cursorIndex - rows + 1;
  if (shown_.size() != rows) shown_.assign(rows, std::vector<ScreenCell>());
  // Moving down on a terminal of known size: the lines above the new top
  // pass through the view and scroll off its top into the scrollback.
  for (size_t at = oldTop; termRows_ != 0 && at < window;) {
    size_t step = window - at < rows ? window - at : rows;
    Paint(console, lines, at, &out);
    out += "\x1b[0m\x1b[" + std::to_string(termRows_) + ";1H" + std::string(step, '\n');
    shownAttribute_ = SIZE_MAX;
    shown_.erase(shown_.begin(), shown_.begin() + static_cast<std::ptrdiff_t>(step));
    shown_.resize(rows);
    at += step;
  }
  top_ = window < lines.size() ? lines[window] : cursorLine;
  Paint(console, lines, window, &out);
  if (console.CursorVisible != cursorShown_) {
    out += console.CursorVisible ? "\x1b[?25h" : "\x1b[?25l";
    cursorShown_ = console.CursorVisible;
  }
  cursorRow_ = cursorIndex - window;
  size_t cursorColumn = console.CursorColumn < columns ? console.CursorColumn : columns - 1;
  out += "\x1b[" + std::to_string(cursorRow_ + 1) + ";" + std::to_string(cursorColumn + 1) + "H";
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

void TerminalView::Paint(const Console& console, const std::vector<size_t>& lines, size_t from, std::string* out) {
  size_t rows = ViewRows(), columns = ViewColumns();
  for (size_t row = 0; row < rows; ++row) {
    const std::vector<ScreenCell>& line = from + row < lines.size() ? LineCells(console, lines[from + row]) : NoCells();
    std::vector<ScreenCell> cells(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(line.size() < columns ? line.size() : columns));
    cells.resize(columns, ScreenCell{u' ', 0x07});
    auto& shown = shown_[row];
    if (shown.size() != columns) shown.assign(columns, ScreenCell{0, SIZE_MAX});
    size_t column = 0;
    while (column < columns) {
      if (cells[column].Char == shown[column].Char && cells[column].Attribute == shown[column].Attribute) {
        ++column;
        continue;
      }
      *out += "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
      while (column < columns &&
             (cells[column].Char != shown[column].Char || cells[column].Attribute != shown[column].Attribute)) {
        if (cells[column].Attribute != shownAttribute_) {
          *out += AttributeSequence(cells[column].Attribute);
          shownAttribute_ = cells[column].Attribute;
        }
        char16_t c = cells[column].Char;
        *out += (c < 0x20 || c == 0x7F) ? std::string(" ") : ToUtf8(std::u16string(1, c));
        shown[column] = cells[column];
        ++column;
      }
    }
  }
}

void TerminalView::Finish() {
  gHost.ConsoleObserver = nullptr;
  if (log_ != nullptr) std::fflush(log_);
  if (!ansi_) {
    std::fflush(out_);
    return;
  }
  // Below the last row that shows something (or the cursor's), so that what
  // follows the run does not push the console's last lines off the screen.
  size_t below = cursorRow_ + 1;
  for (size_t row = 0; row < shown_.size(); ++row) {
    if (!IsBlankRow(shown_[row]) && row + 1 > below) below = row + 1;
  }
  std::string out = "\x1b[0m\x1b[?25h\x1b[" + std::to_string(below + 1) + ";1H";
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

}  // namespace sim
