// The console model: what the program's console calls leave on the screen.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "sim/console_model.h"
#include "sim/machine.h"

namespace {

class SimConsole : public ::testing::Test {
 protected:
  void BootSized(size_t columns, size_t rows) {
    sim::MachineConfig config;
    config.Columns = columns;
    config.Rows = rows;
    sim::Boot(config);
  }
  const sim::Console& Screen() { return sim::TheMachine().Screen; }
};

TEST_F(SimConsole, TextTakesTheAttributeInForceAndEveryCallIsRecorded) {
  BootSized(100, 31);
  ConClearScreen();
  ConSetAttribute(0x0F);
  ConOutputString(u"M/B  EC Project: ");
  ConSetAttribute(0x3F);
  ConOutputString(u"TESTPRJ");
  ConEnableCursor(false);
  const auto& calls = Screen().Calls;
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].What, sim::ConsoleCall::Kind::Clear);
  EXPECT_EQ(calls[1].What, sim::ConsoleCall::Kind::Attribute);
  EXPECT_EQ(calls[2].What, sim::ConsoleCall::Kind::Text);
  EXPECT_EQ(calls[2].Attribute, 0x0Fu);
  EXPECT_EQ(calls[4].Text, u"TESTPRJ");
  EXPECT_EQ(calls[4].Attribute, 0x3Fu);
  EXPECT_EQ(calls[5].What, sim::ConsoleCall::Kind::CursorVisible);
  EXPECT_FALSE(Screen().CursorVisible);
  EXPECT_EQ(Screen().Row(0), "M/B  EC Project: TESTPRJ");
  EXPECT_EQ(Screen().AttributeAt(16, 0), 0x0Fu);
  EXPECT_EQ(Screen().AttributeAt(17, 0), 0x3Fu);
}

struct CursorCase {
  size_t Column, Row;
  EfiStatus Status;
};

TEST_F(SimConsole, CursorMovesOutsideAn80By25ScreenFailAndTheTextStaysAtTheCursor) {
  const CursorCase cases[] = {{0, 0, kEfiSuccess},      {79, 23, kEfiSuccess}, {78, 24, kEfiSuccess},     {80, 0, kEfiUnsupported},
                              {0, 25, kEfiUnsupported}, {24, 26, kEfiUnsupported}, {62, 12, kEfiSuccess}};
  for (const CursorCase& c : cases) {
    BootSized(80, 25);
    ConOutputString(u"ab");
    EXPECT_EQ(ConSetCursorPosition(c.Column, c.Row), c.Status) << c.Column << "," << c.Row;
    ConOutputString(u"X");
    bool moved = c.Status == kEfiSuccess;
    size_t column = moved ? c.Column : 2, row = moved ? c.Row : 0;
    EXPECT_EQ(Screen().Screen[row][column].Char, u'X') << c.Column << "," << c.Row;
    EXPECT_EQ(Screen().Calls[1].Status, c.Status);
  }
}

TEST_F(SimConsole, LineEndsBackspaceAndWrapAtTheRightEdge) {
  BootSized(10, 4);
  sim::Console& console = sim::TheMachine().Screen;
  // The model itself is the firmware console: LF only moves down.
  sim::ConsoleWrite(&console, u"ab\ncd\rX");
  EXPECT_EQ(console.Row(0), "ab");
  EXPECT_EQ(console.Row(1), "X cd");
  sim::ConsoleWrite(&console, u"\b\bZ");
  EXPECT_EQ(console.Row(1), "Z cd");
  EXPECT_EQ(console.CursorColumn, 1u);
  sim::ConsoleWrite(&console, u"\r0123456789AB");
  EXPECT_EQ(console.Row(1), "0123456789");
  EXPECT_EQ(console.Row(2), "AB");
  EXPECT_EQ(console.CursorColumn, 2u);
  EXPECT_EQ(console.CursorRow, 2u);
  // Backspace at column 0 stays there.
  sim::ConsoleWrite(&console, u"\r\b");
  EXPECT_EQ(console.CursorColumn, 0u);
}

TEST_F(SimConsole, TheBackendSendsLineEndsAsCrLf) {
  BootSized(20, 5);
  ConOutputString(u"one\ntwo\n\rthree\r\nfour");
  EXPECT_EQ(Screen().ScreenText(), "one\ntwo\nthree\nfour\n\n");
  // The record and the plain stream keep the text as written.
  EXPECT_EQ(Screen().Calls[0].Text, u"one\ntwo\n\rthree\r\nfour");
  EXPECT_EQ(Screen().Plain(), u"one\ntwo\n\rthree\r\nfour");
}

TEST_F(SimConsole, TheBottomRowScrollsUp) {
  BootSized(8, 3);
  ConOutputString(u"1\n2\n3\n4");
  EXPECT_EQ(Screen().ScreenText(), "2\n3\n4\n");
  (void)ConSetCursorPosition(7, 2);
  ConOutputString(u"x");  // the last cell: wraps and scrolls
  EXPECT_EQ(Screen().ScreenText(), "3\n4      x\n\n");
  EXPECT_EQ(Screen().CursorRow, 2u);
  EXPECT_EQ(Screen().CursorColumn, 0u);
}

TEST_F(SimConsole, ClearUsesTheAttributeInForce) {
  BootSized(10, 2);
  ConOutputString(u"junk");
  ConSetAttribute(0x1F);
  ConClearScreen();
  EXPECT_EQ(Screen().Row(0), "");
  EXPECT_EQ(Screen().AttributeAt(9, 1), 0x1Fu);
  EXPECT_EQ(Screen().CursorColumn, 0u);
}

TEST_F(SimConsole, PlainKeepsBackspacesAndUtf8) {
  BootSized(100, 31);
  ConOutputString(u"9\b8\u00e9");
  EXPECT_EQ(Screen().PlainUtf8(), "9\b8\xc3\xa9");
  EXPECT_EQ(Screen().Row(0), "8\xc3\xa9");
}

}  // namespace
