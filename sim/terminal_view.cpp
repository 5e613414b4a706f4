#include "sim/terminal_view.h"

#include "sim/host_state.h"

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

void TerminalView::Attach() {
  gHost.ConsoleObserver = [this](const ConsoleCall& call) { OnCall(call); };
  if (!ansi_) return;
  shown_.clear();
  std::fputs("\x1b[0m\x1b[2J\x1b[H", out_);
  std::fflush(out_);
}

void TerminalView::OnCall(const ConsoleCall& call) {
  if (!ansi_) {
    if (call.What == ConsoleCall::Kind::Text) {
      std::string text = ToUtf8(call.Text);
      std::fwrite(text.data(), 1, text.size(), out_);
      std::fflush(out_);
    }
    return;
  }
  Redraw(gMachine.Screen);
}

void TerminalView::Redraw(const Console& console) {
  std::string out;
  if (shown_.size() != console.Screen.size()) {
    shown_.assign(console.Screen.size(), std::vector<ScreenCell>());
  }
  for (size_t row = 0; row < console.Screen.size(); ++row) {
    const auto& cells = console.Screen[row];
    auto& shown = shown_[row];
    if (shown.size() != cells.size()) shown.assign(cells.size(), ScreenCell{0, SIZE_MAX});
    size_t column = 0;
    while (column < cells.size()) {
      if (cells[column].Char == shown[column].Char && cells[column].Attribute == shown[column].Attribute) {
        ++column;
        continue;
      }
      out += "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
      while (column < cells.size() &&
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
  out += "\x1b[" + std::to_string(console.CursorRow + 1) + ";" + std::to_string(console.CursorColumn + 1) + "H";
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

void TerminalView::Finish() {
  gHost.ConsoleObserver = nullptr;
  if (!ansi_) {
    std::fflush(out_);
    return;
  }
  std::string out = "\x1b[0m\x1b[?25h\x1b[" + std::to_string(gMachine.Screen.Rows + 1) + ";1H";
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

}  // namespace sim
