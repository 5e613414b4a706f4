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

void TerminalView::Redraw(const Console& console) {
  std::string out;
  size_t rows = ViewRows(), columns = ViewColumns();
  // The window follows the cursor.
  if (console.CursorRow < top_) top_ = console.CursorRow;
  if (console.CursorRow >= top_ + rows) top_ = console.CursorRow - rows + 1;
  if (top_ + rows > console.Screen.size()) top_ = console.Screen.size() > rows ? console.Screen.size() - rows : 0;
  if (shown_.size() != rows) shown_.assign(rows, std::vector<ScreenCell>());
  for (size_t row = 0; row < rows && top_ + row < console.Screen.size(); ++row) {
    const auto& cells = console.Screen[top_ + row];
    auto& shown = shown_[row];
    size_t width = cells.size() < columns ? cells.size() : columns;
    if (shown.size() != width) shown.assign(width, ScreenCell{0, SIZE_MAX});
    size_t column = 0;
    while (column < width) {
      if (cells[column].Char == shown[column].Char && cells[column].Attribute == shown[column].Attribute) {
        ++column;
        continue;
      }
      out += "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
      while (column < width &&
             (cells[column].Char != shown[column].Char || cells[column].Attribute != shown[column].Attribute)) {
        if (cells[column].Attribute != shownAttribute_) {
          out += AttributeSequence(cells[column].Attribute);
          shownAttribute_ = cells[column].Attribute;
        }
        char16_t c = cells[column].Char;
        out += (c < 0x20 || c == 0x7F) ? std::string(" ") : ToUtf8(std::u16string(1, c));
        shown[column] = cells[column];
        ++column;
      }
    }
  }
  if (console.CursorVisible != cursorShown_) {
    out += console.CursorVisible ? "\x1b[?25h" : "\x1b[?25l";
    cursorShown_ = console.CursorVisible;
  }
  size_t cursorColumn = console.CursorColumn < columns ? console.CursorColumn : columns - 1;
  out += "\x1b[" + std::to_string(console.CursorRow - top_ + 1) + ";" + std::to_string(cursorColumn + 1) + "H";
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

void TerminalView::Finish() {
  gHost.ConsoleObserver = nullptr;
  if (log_ != nullptr) std::fflush(log_);
  if (!ansi_) {
    std::fflush(out_);
    return;
  }
  std::string out = "\x1b[0m\x1b[?25h\x1b[" + std::to_string(ViewRows() + 1) + ";1H";
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

}  // namespace sim
