// The console calls since a mark, as one string: text as written, with each
// attribute change shown as {XX} and cursor visibility as {on}/{off}. Exact
// text and colour in one comparison.
#pragma once

#include <cstdio>
#include <string>

#include "sim/machine.h"

namespace console_colours {

inline std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

inline size_t Mark() { return sim::TheMachine().Screen.Calls.size(); }

inline std::string Since(size_t mark) {
  const auto& calls = sim::TheMachine().Screen.Calls;
  std::string out;
  for (size_t i = mark; i < calls.size(); i++) {
    const sim::ConsoleCall& call = calls[i];
    switch (call.What) {
      case sim::ConsoleCall::Kind::Text: out += Utf8(call.Text); break;
      case sim::ConsoleCall::Kind::Attribute: {
        char tag[8];
        std::snprintf(tag, sizeof tag, "{%02zX}", call.Attribute);
        out += tag;
        break;
      }
      case sim::ConsoleCall::Kind::CursorVisible: out += call.Visible ? "{on}" : "{off}"; break;
      case sim::ConsoleCall::Kind::Clear: out += "{clear}"; break;
      case sim::ConsoleCall::Kind::Cursor: out += "{at}"; break;
    }
  }
  return out;
}

}  // namespace console_colours
