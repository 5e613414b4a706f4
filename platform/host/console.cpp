// Console output and input on the simulated machine.
#include "platform/platform.h"
#include "sim/console_model.h"
#include "sim/host_state.h"

void ConOutputString(const Char16* text) {
  if (text == nullptr) return;
  sim::ConsoleWrite(&sim::gMachine.Screen, text);
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
