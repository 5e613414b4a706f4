#include "sim/console_model.h"

#include "sim/host_state.h"

namespace sim {

namespace {

void Record(Console* console, ConsoleCall call) {
  console->Calls.push_back(std::move(call));
  if (gHost.ConsoleObserver && console == &gMachine.Screen) gHost.ConsoleObserver(console->Calls.back());
}

void NewLine(Console* console) {
  if (console->CursorRow + 1 < console->Rows) {
    console->CursorRow++;
    return;
  }
  // Scroll: every row moves up one, the last one is blank in the attribute in force.
  if (console->ScrolledRows.size() >= console->Rows) console->ScrolledRows.erase(console->ScrolledRows.begin());
  console->ScrolledRows.push_back(std::move(console->Screen.front()));
  console->Scrolled++;
  console->Screen.erase(console->Screen.begin());
  console->Screen.emplace_back(console->Columns, ScreenCell{u' ', console->Attribute});
}

}  // namespace

void ConsoleReset(Console* console, size_t columns, size_t rows) {
  *console = Console{};
  console->Columns = columns == 0 ? 1 : columns;
  console->Rows = rows == 0 ? 1 : rows;
  console->Screen.assign(console->Rows, std::vector<ScreenCell>(console->Columns));
}

void ConsoleWrite(Console* console, const char16_t* text) {
  std::u16string written(text);
  ConsoleWrite(console, written, written);
}

void ConsoleWrite(Console* console, const std::u16string& written, const std::u16string& drawn) {
  for (char16_t c : drawn) {
    if (c == u'\n') {
      NewLine(console);
    } else if (c == u'\r') {
      console->CursorColumn = 0;
    } else if (c == u'\b') {
      if (console->CursorColumn > 0) console->CursorColumn--;
    } else {
      console->Screen[console->CursorRow][console->CursorColumn] = ScreenCell{c, console->Attribute};
      if (++console->CursorColumn >= console->Columns) {
        console->CursorColumn = 0;
        NewLine(console);
      }
    }
  }
  ConsoleCall call;
  call.What = ConsoleCall::Kind::Text;
  call.Attribute = console->Attribute;
  call.Text = written;
  Record(console, std::move(call));
}

void ConsoleSetAttribute(Console* console, size_t attribute) {
  console->Attribute = attribute;
  ConsoleCall call;
  call.What = ConsoleCall::Kind::Attribute;
  call.Attribute = attribute;
  Record(console, std::move(call));
}

void ConsoleClear(Console* console) {
  for (auto& row : console->Screen) row.assign(console->Columns, ScreenCell{u' ', console->Attribute});
  console->CursorColumn = 0;
  console->CursorRow = 0;
  ConsoleCall call;
  call.What = ConsoleCall::Kind::Clear;
  call.Attribute = console->Attribute;
  Record(console, std::move(call));
}

EfiStatus ConsoleSetCursor(Console* console, size_t column, size_t row) {
  ConsoleCall call;
  call.What = ConsoleCall::Kind::Cursor;
  call.Column = column;
  call.Row = row;
  if (column >= console->Columns || row >= console->Rows) {
    call.Status = kEfiUnsupported;
  } else {
    console->CursorColumn = column;
    console->CursorRow = row;
  }
  EfiStatus status = call.Status;
  Record(console, std::move(call));
  return status;
}

void ConsoleEnableCursor(Console* console, bool visible) {
  console->CursorVisible = visible;
  ConsoleCall call;
  call.What = ConsoleCall::Kind::CursorVisible;
  call.Visible = visible;
  Record(console, std::move(call));
}

std::u16string Console::Plain() const {
  std::u16string all;
  for (const ConsoleCall& call : Calls) {
    if (call.What == ConsoleCall::Kind::Text) all += call.Text;
  }
  return all;
}

std::string Console::PlainUtf8() const { return ToUtf8(Plain()); }

std::string Console::Row(size_t row) const {
  if (row >= Screen.size()) return std::string();
  std::u16string text;
  for (const ScreenCell& cell : Screen[row]) text.push_back(cell.Char);
  size_t end = text.find_last_not_of(u' ');
  text.resize(end == std::u16string::npos ? 0 : end + 1);
  return ToUtf8(text);
}

std::string Console::ScreenText() const {
  std::string all;
  for (size_t row = 0; row < Screen.size(); ++row) {
    all += Row(row);
    all += '\n';
  }
  return all;
}

size_t Console::AttributeAt(size_t column, size_t row) const {
  if (row >= Screen.size() || column >= Screen[row].size()) return 0;
  return Screen[row][column].Attribute;
}

}  // namespace sim
