// The layout of tarnwick-sim's help: a name on the left, its text wrapped in
// a column on the right.
#pragma once

#include <string>

namespace sim {

constexpr size_t kHelpWidth = 118;

// "  --volume DIR          add a volume ...\n": left starts at indent, the text
// at column (or two blanks after a longer left), wrapped at kHelpWidth with
// the next lines starting at column. A no-break space (U+00A0) in text
// keeps an example on one line; it is printed as a blank.
std::string HelpEntry(const std::string& left, const std::string& text, size_t indent, size_t column);

}  // namespace sim
