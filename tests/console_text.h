// The console as the tests read it, as one UTF-8 string: the text of every
// console call since a mark (0: since boot). With kWithMarks each attribute
// change shows as {XX}, cursor visibility as {on}/{off}, a clear as {clear}
// and a cursor move as {at}: exact text and colour in one comparison.
#pragma once

#include <cstdio>
#include <string>

#include "sim/host_state.h"
#include "sim/machine.h"

namespace console_text {

constexpr bool kWithMarks = true;

inline size_t Mark() { return sim::TheMachine().Screen.Calls.size(); }

inline std::string Text(size_t since = 0, bool withMarks = false) {
  const auto& calls = sim::TheMachine().Screen.Calls;
  std::u16string out;
  for (size_t i = since; i < calls.size(); i++) {
    const sim::ConsoleCall& call = calls[i];
    if (call.What == sim::ConsoleCall::Kind::Text) {
      out += call.Text;
      continue;
    }
    if (!withMarks) continue;
    char tag[8];
    std::snprintf(tag, sizeof tag, "{%02zX}", call.Attribute);
    std::string mark = call.What == sim::ConsoleCall::Kind::Attribute     ? tag
                       : call.What == sim::ConsoleCall::Kind::CursorVisible ? (call.Visible ? "{on}" : "{off}")
                       : call.What == sim::ConsoleCall::Kind::Clear         ? "{clear}"
                                                                           : "{at}";
    out.append(mark.begin(), mark.end());
  }
  return sim::ToUtf8(out);
}

}  // namespace console_text
