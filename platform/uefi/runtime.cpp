// The few routines the compiler may call on its own in a freestanding image.
#include <stddef.h>
#include <stdint.h>

extern "C" {

void* memcpy(void* destination, const void* source, size_t size) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  for (size_t i = 0; i < size; ++i) d[i] = s[i];
  return destination;
}

void* memmove(void* destination, const void* source, size_t size) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  if (d < s) {
    for (size_t i = 0; i < size; ++i) d[i] = s[i];
  } else {
    for (size_t i = size; i > 0; --i) d[i - 1] = s[i - 1];
  }
  return destination;
}

void* memset(void* destination, int value, size_t size) {
  auto* d = static_cast<unsigned char*>(destination);
  for (size_t i = 0; i < size; ++i) d[i] = static_cast<unsigned char>(value);
  return destination;
}

int memcmp(const void* a, const void* b, size_t size) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < size; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

// Marks the image as using floating point; the linker asks for it once any
// float or double appears.
int _fltused = 0;

}  // extern "C"
