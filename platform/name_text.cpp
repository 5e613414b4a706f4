#include "platform/name_text.h"

#include "platform/format.h"

namespace {

constexpr size_t kMaxShown = kNameBufferSize;

}  // namespace

void PrintNameText(const uint8_t* bytes, size_t count) {
  if (count > kMaxShown) count = kMaxShown;
  Char16 text[kMaxShown + 1];
  size_t used = 0;
  for (size_t i = 0; i < count && bytes[i] != '$'; i++) {
    if (bytes[i] == 0) continue;  // a NUL would end the console string early
    text[used++] = static_cast<Char16>(bytes[i]);
  }
  text[used] = 0;
  if (used > 0) Print(u"%s", text);
}
