// Console output and input on the simulated machine.
#include "platform/platform.h"
#include "sim/console_model.h"
#include "sim/host_state.h"

// The firmware console moves down a row on LF without going back to column
// 0; the firmware backend therefore sends "\n" and "\n\r" as "\r\n". The
// same happens here before the text reaches the screen model, while the
// console record keeps the text as the program wrote it.
void ConOutputString(const Char16* text) {
  if (text == nullptr) return;
  std::u16string written(text);
  std::u16string drawn;
  drawn.reserve(written.size() + 8);
  for (size_t i = 0; i < written.size(); ++i) {
    char16_t c = written[i];
    if (c == u'\r' && i + 1 < written.size() && written[i + 1] == u'\n') {
      drawn += u"\r\n";
      ++i;
    } else if (c == u'\n') {
      drawn += u"\r\n";
      if (i + 1 < written.size() && written[i + 1] == u'\r') ++i;
    } else {
      drawn.push_back(c);
    }
  }
  sim::ConsoleWrite(&sim::gMachine.Screen, written, drawn);
}

void ConSetAttribute(size_t attribute) { sim::ConsoleSetAttribute(&sim::gMachine.Screen, attribute); }

void ConClearScreen() { sim::ConsoleClear(&sim::gMachine.Screen); }

EfiStatus ConSetCursorPosition(size_t column, size_t row) {
  return sim::ConsoleSetCursor(&sim::gMachine.Screen, column, row);
}

void ConEnableCursor(bool visible) { sim::ConsoleEnableCursor(&sim::gMachine.Screen, visible); }

// Waits for the key event. With every key already used the wait would last
// for ever, so the run ends here as if the machine had been switched off; the
// test or the summary shows that it happened.
void ConWaitForKey() {
  sim::gMachine.KeyWaits++;
  if (sim::gHost.NextKey < sim::gMachine.Config.Keys.size()) return;
  InputKey key;
  if (sim::gHost.KeySource && sim::gHost.KeySource(&key)) {
    sim::gMachine.Config.Keys.push_back(key);
    return;
  }
  sim::gMachine.KeysExhausted = true;
  sim::EndRunPoweredOff("no-keys-left");
}

EfiStatus ConReadKeyStroke(InputKey* key) {
  uint64_t call = ++sim::gHost.Calls.ReadKey;
  if (key == nullptr) return kEfiInvalidParameter;
  if (call <= static_cast<uint64_t>(sim::gMachine.Config.Fault.ReadKeyFailsFirst)) return kEfiNotReady;
  const auto& keys = sim::gMachine.Config.Keys;
  if (sim::gHost.NextKey >= keys.size()) return kEfiNotReady;
  *key = keys[sim::gHost.NextKey++];
  return kEfiSuccess;
}
