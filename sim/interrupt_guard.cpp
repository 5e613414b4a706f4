#include "sim/interrupt_guard.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace sim {

namespace {

// Only what the handler may touch: fixed buffers and flags, no allocation.
char gRestore[64];
volatile sig_atomic_t gRestoreLength = 0;
volatile sig_atomic_t gAtLineStart = 1;
struct termios gSavedInput;
volatile sig_atomic_t gHaveSavedInput = 0;

void Put(int fd, const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void OnInterrupt(int signal) {
  if (gHaveSavedInput) tcsetattr(STDIN_FILENO, TCSANOW, &gSavedInput);
  if (gRestoreLength > 0) {
    Put(STDOUT_FILENO, gRestore, static_cast<size_t>(gRestoreLength));
  } else if (!gAtLineStart) {
    Put(STDOUT_FILENO, "\n", 1);
  }
  static const char kInt[] = "tarnwick-sim: interrupted (SIGINT); the flash, trace and screen files were not written\n";
  static const char kTerm[] = "tarnwick-sim: interrupted (SIGTERM); the flash, trace and screen files were not written\n";
  if (signal == SIGINT) {
    Put(STDERR_FILENO, kInt, sizeof(kInt) - 1);
  } else {
    Put(STDERR_FILENO, kTerm, sizeof(kTerm) - 1);
  }
  _exit(128 + signal);
}

}  // namespace

void InstallInterruptGuard() {
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &gSavedInput) == 0) gHaveSavedInput = 1;
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void SetInterruptRestore(const std::string& escapes) {
  gRestoreLength = 0;  // the handler ignores the buffer while it changes
  size_t length = escapes.size() < sizeof(gRestore) ? escapes.size() : sizeof(gRestore) - 1;
  std::memcpy(gRestore, escapes.data(), length);
  gRestoreLength = static_cast<sig_atomic_t>(length);
}

void NoteStdoutAtLineStart(bool atLineStart) { gAtLineStart = atLineStart ? 1 : 0; }

void HoldInterrupts() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace sim
