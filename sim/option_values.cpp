#include "sim/option_values.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "sim/host_state.h"

namespace sim {

namespace {

constexpr uint16_t kScanUp = 0x01, kScanDown = 0x02, kScanRight = 0x03, kScanLeft = 0x04, kScanEscape = 0x17;

// The key after a backslash; false for an unknown escape.
bool EscapedKey(char16_t c, InputKey* key) {
  switch (c) {
    case u'r': *key = InputKey{0, u'\r'}; return true;
    case u'n': *key = InputKey{0, u'\n'}; return true;
    case u't': *key = InputKey{0, u'\t'}; return true;
    case u'b': *key = InputKey{0, u'\b'}; return true;
    case u'e': *key = InputKey{kScanEscape, 0}; return true;
    case u'U': *key = InputKey{kScanUp, 0}; return true;
    case u'D': *key = InputKey{kScanDown, 0}; return true;
    case u'R': *key = InputKey{kScanRight, 0}; return true;
    case u'L': *key = InputKey{kScanLeft, 0}; return true;
    case u'\\': *key = InputKey{0, u'\\'}; return true;
    default: return false;
  }
}

}  // namespace

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  uint64_t scale = 1;
  if (*end == 'K' || *end == 'k') {
    scale = 1024;
    ++end;
  }
  if (*end != 0 || text[0] == '-') return false;
  if (v > max / scale) return false;
  *value = v * scale;
  return true;
}

bool ParseBytes(const std::string& text, size_t max, std::vector<uint8_t>* bytes) {
  bytes->clear();
  std::string token;
  std::string all = text;
  for (char& c : all) {
    if (c == ',') c = ' ';
  }
  std::istringstream words(all);
  while (words >> token) {
    char* end = nullptr;
    unsigned long v = std::strtoul(token.c_str(), &end, 16);
    if (*end != 0 || v > 0xFF || bytes->size() >= max) return false;
    bytes->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

bool ParseKeys(const std::string& text, std::vector<InputKey>* keys) {
  std::u16string chars = FromUtf8(text);
  for (size_t i = 0; i < chars.size(); ++i) {
    InputKey key{0, chars[i]};
    if (chars[i] == u'\\' && (++i >= chars.size() || !EscapedKey(chars[i], &key))) return false;
    keys->push_back(key);
  }
  return true;
}

bool ParseTime(const std::string& text, EfiTime* time) {
  unsigned y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return false;
  if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  *time = EfiTime{static_cast<uint16_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d), static_cast<uint8_t>(h),
                  static_cast<uint8_t>(mi), static_cast<uint8_t>(s), 0, 0, 2047, 0, 0};
  return true;
}

bool ParseGrid(const std::string& text, size_t* columns, size_t* rows) {
  unsigned c = 0, r = 0;
  char tail;
  if (std::sscanf(text.c_str(), "%ux%u%c", &c, &r, &tail) != 2) return false;
  if (c < 1 || r < 1 || c > 1000 || r > 1000) return false;
  *columns = c;
  *rows = r;
  return true;
}

}  // namespace sim
