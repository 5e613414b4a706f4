#include "sim/terminal_keys.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr uint16_t kScanUp = 0x01, kScanDown = 0x02, kScanRight = 0x03, kScanLeft = 0x04, kScanEscape = 0x17;

// One byte, waiting at most timeoutMs (-1: for ever).
bool ReadByte(unsigned char* byte, int timeoutMs) {
  struct pollfd fd = {STDIN_FILENO, POLLIN, 0};
  if (poll(&fd, 1, timeoutMs) <= 0) return false;
  return read(STDIN_FILENO, byte, 1) == 1;
}

}  // namespace

bool ReadTerminalKey(InputKey* key) {
  struct termios saved;
  bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (raw) {
    struct termios t = saved;
    t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    t.c_iflag &= static_cast<tcflag_t>(~ICRNL);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &t);
  }
  unsigned char b = 0;
  bool got = ReadByte(&b, -1);
  *key = InputKey{0, 0};
  if (got && b == 0x1B) {
    unsigned char next = 0, code = 0;
    if (ReadByte(&next, 50) && next == '[' && ReadByte(&code, 50)) {
      key->ScanCode = code == 'A' ? kScanUp : code == 'B' ? kScanDown : code == 'C' ? kScanRight
                      : code == 'D' ? kScanLeft : kScanEscape;
    } else {
      key->ScanCode = kScanEscape;
    }
  } else if (got && (b == '\r' || b == '\n')) {
    key->UnicodeChar = u'\r';
  } else if (got && b >= 0xC0) {
    // A UTF-8 sequence: its continuation bytes follow at once.
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    uint32_t u = b & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
      unsigned char c = 0;
      if (!ReadByte(&c, 50)) break;
      u = (u << 6) | (c & 0x3F);
    }
    key->UnicodeChar = u > 0xFFFF ? u'?' : static_cast<Char16>(u);
  } else if (got) {
    key->UnicodeChar = b;
  }
  if (raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return got;
}

}  // namespace sim
