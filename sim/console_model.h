// The console screen as the firmware's text console keeps it: the calls are
// recorded in order and drawn on a grid of cells.
#pragma once

#include "sim/machine.h"

namespace sim {

// A blank screen of the given size, cursor at 0,0, attribute 0x07.
void ConsoleReset(Console* console, size_t columns, size_t rows);
// OutputString: LF moves down a row, CR to column 0, backspace one column
// left; other characters are drawn and the cursor advances, wrapping at the
// right edge; moving down from the last row scrolls the screen up.
void ConsoleWrite(Console* console, const char16_t* text);
// The same, but records `written` (what the program passed) while drawing
// `drawn` (what reached the firmware after the backend's line-end handling).
void ConsoleWrite(Console* console, const std::u16string& written, const std::u16string& drawn);
void ConsoleSetAttribute(Console* console, size_t attribute);
// Clears to blanks in the attribute in force; cursor to 0,0.
void ConsoleClear(Console* console);
// Out of range: kEfiUnsupported and the cursor stays where it was.
EfiStatus ConsoleSetCursor(Console* console, size_t column, size_t row);
void ConsoleEnableCursor(Console* console, bool visible);

}  // namespace sim
