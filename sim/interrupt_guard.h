// Ctrl-C (SIGINT) and SIGTERM during a tarnwick-sim run: the terminal gets its
// attributes, cursor and input mode back, the user is told the run was
// interrupted, and the process ends at once (status 128 + the signal) without
// writing the flash, trace or screen files, so none is left half written.
#pragma once

#include <string>

namespace sim {

// Installs the handlers; saves the terminal's input mode when stdin is one.
void InstallInterruptGuard();

// What the handler writes to stdout before its message: the escapes that
// restore the ANSI view (colours, cursor shown, the cursor below the view).
// Empty: plain output, where only a missing line end is added.
void SetInterruptRestore(const std::string& escapes);

// Kept up to date by the view: whether the last character written to stdout
// was a line end (or nothing was written).
void NoteStdoutAtLineStart(bool atLineStart);

// From here on SIGINT and SIGTERM wait until the process ends (the run is over
// and the files are being written back whole).
void HoldInterrupts();

}  // namespace sim
