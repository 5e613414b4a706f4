#include "platform/current_directory.h"

const Char16* ShellDirectoryPartOf(const Char16* current) {
  if (current != nullptr) {
    for (const Char16* p = current; *p != 0; p++) {
      if (*p == u'\\') return p;
    }
  }
  return u"\\";
}

const Char16* ShellDirectoryPart() { return ShellDirectoryPartOf(ShellCurrentDirectory()); }

const Char16* ShellDirectorySeparator(const Char16* directoryPart) {
  // Only the character after the first backslash is looked at.
  return directoryPart[0] != 0 && directoryPart[1] == 0 ? u"" : u"\\";
}
