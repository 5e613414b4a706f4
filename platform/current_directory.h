// The directory part of the shell's current directory, the one rule for
// every file the tool looks for or writes there.
#pragma once

#include "platform/platform.h"

// From the first backslash on: "\EC\TOOLS" of "FS0:\EC\TOOLS". Without a
// current directory (nullptr), or one with no backslash ("FS0:"), the
// volume root "\".
const Char16* ShellDirectoryPartOf(const Char16* current);
// The same for the shell's current directory now.
const Char16* ShellDirectoryPart();
// What joins the directory part and a name in it: nothing after the root's
// lone backslash ("\EC.BIN"), one backslash anywhere else ("\EC\EC.BIN").
// The image path and the dump name are both joined so.
const Char16* ShellDirectorySeparator(const Char16* directoryPart);
