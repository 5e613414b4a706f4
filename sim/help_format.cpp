#include "sim/help_format.h"

namespace sim {

namespace {

constexpr char kNoBreakSpace[] = "\xC2\xA0";

// Columns on a terminal: UTF-8 continuation bytes take none.
size_t Width(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80;
  return width;
}

}  // namespace

std::string HelpEntry(const std::string& left, const std::string& text, size_t indent, size_t column) {
  std::string out = std::string(indent, ' ') + left;
  out += out.size() + 2 <= column ? std::string(column - out.size(), ' ') : "  ";
  size_t lineStart = 0, at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(at, end - at);
    if (at > 0 && Width(out.substr(lineStart)) + 1 + Width(word) > kHelpWidth) {
      out += "\n";
      lineStart = out.size();
      out += std::string(column, ' ');
    } else if (at > 0) {
      out += " ";
    }
    out += word;
    at = end + 1;
  }
  for (size_t at = out.find(kNoBreakSpace); at != std::string::npos; at = out.find(kNoBreakSpace, at)) {
    out.replace(at, 2, " ");
  }
  return out + "\n";
}

}  // namespace sim
