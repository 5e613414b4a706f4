#include "platform/text.h"

void MemSet(void* destination, uint8_t value, size_t size) {
  uint8_t* d = static_cast<uint8_t*>(destination);
  for (size_t i = 0; i < size; i++) d[i] = value;
}

void MemCopy(void* destination, const void* source, size_t size) {
  uint8_t* d = static_cast<uint8_t*>(destination);
  const uint8_t* s = static_cast<const uint8_t*>(source);
  for (size_t i = 0; i < size; i++) d[i] = s[i];
}

size_t StrLen16(const Char16* text) {
  size_t n = 0;
  while (text[n] != 0) n++;
  return n;
}
