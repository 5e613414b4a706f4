// The EC's ports, reached with the x86 in and out instructions.
#include "platform/platform.h"
#include "platform/uefi/image_hooks.h"

uint8_t PortRead8(uint16_t port) {
  uint8_t value;
  __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
  return value;
}

void PortWrite8(uint16_t port, uint8_t value) {
  __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
}

// The real tool needs nothing around its run.
bool ImageStart() { return true; }
void ImageExit() {}
