// Console output and input on the firmware's simple text protocols.
#include "platform/platform.h"
#include "platform/uefi/efi_headers.h"

namespace {

// The firmware console moves down one row on LF without going back to
// column 0. The program's text ends lines with "\n" or "\n\r", as a console
// whose print routine turns either into CR LF expects, so that is done here:
// "\n" and "\n\r" go out as "\r\n", "\r\n" and a lone "\r" as they are.
constexpr size_t kChunk = 128;

void Flush(CHAR16* chunk, size_t* used) {
  if (*used == 0) return;
  chunk[*used] = 0;
  gSystemTable->ConOut->OutputString(gSystemTable->ConOut, chunk);
  *used = 0;
}

void Put(CHAR16* chunk, size_t* used, CHAR16 c) {
  if (*used == kChunk) Flush(chunk, used);
  chunk[(*used)++] = c;
}

}  // namespace

void ConOutputString(const Char16* text) {
  if (text == nullptr) return;
  CHAR16 chunk[kChunk + 1];
  size_t used = 0;
  for (size_t i = 0; text[i] != 0; ++i) {
    const Char16 c = text[i];
    if (c == u'\r') {
      if (text[i + 1] == u'\n') {
        Put(chunk, &used, u'\r');
        Put(chunk, &used, u'\n');
        ++i;
      } else {
        Put(chunk, &used, u'\r');
      }
    } else if (c == u'\n') {
      Put(chunk, &used, u'\r');
      Put(chunk, &used, u'\n');
      if (text[i + 1] == u'\r') ++i;
    } else {
      Put(chunk, &used, static_cast<CHAR16>(c));
    }
  }
  Flush(chunk, &used);
}

void ConSetAttribute(size_t attribute) { gSystemTable->ConOut->SetAttribute(gSystemTable->ConOut, attribute); }

void ConClearScreen() { gSystemTable->ConOut->ClearScreen(gSystemTable->ConOut); }

EfiStatus ConSetCursorPosition(size_t column, size_t row) {
  return gSystemTable->ConOut->SetCursorPosition(gSystemTable->ConOut, column, row);
}

void ConEnableCursor(bool visible) { gSystemTable->ConOut->EnableCursor(gSystemTable->ConOut, visible ? TRUE : FALSE); }

void ConWaitForKey() {
  EFI_EVENT event = gSystemTable->ConIn->WaitForKey;
  UINTN index = 0;
  gBootServices->WaitForEvent(1, &event, &index);
}

EfiStatus ConReadKeyStroke(InputKey* key) {
  EFI_INPUT_KEY efiKey{};
  const EFI_STATUS status = gSystemTable->ConIn->ReadKeyStroke(gSystemTable->ConIn, &efiKey);
  key->ScanCode = efiKey.ScanCode;
  key->UnicodeChar = static_cast<Char16>(efiKey.UnicodeChar);
  return status;
}
