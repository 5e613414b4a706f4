// Small memory and string helpers for product code, which has no C library.
#pragma once

#include "platform/platform.h"

void MemSet(void* destination, uint8_t value, size_t size);
void MemCopy(void* destination, const void* source, size_t size);
size_t StrLen16(const Char16* text);
