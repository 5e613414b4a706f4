#include "platform/format.h"

namespace {

void SinkFlush(FormatSink* sink) {
  if (!sink->FlushToConsole || sink->Used == 0) return;
  sink->Buffer[sink->Used] = 0;
  ConOutputString(sink->Buffer);
  sink->Used = 0;
}

void SinkPut(FormatSink* sink, Char16 c) {
  sink->Total++;
  if (sink->Used + 1 >= sink->Capacity) {
    if (!sink->FlushToConsole) return;  // cut: keep room for the terminator
    SinkFlush(sink);
  }
  sink->Buffer[sink->Used++] = c;
}

void SinkRepeat(FormatSink* sink, Char16 c, size_t n) {
  for (size_t i = 0; i < n; i++) SinkPut(sink, c);
}

// Puts digits of value in the given base, padded to width with pad.
void PutNumber(FormatSink* sink, uint64_t value, bool negative, unsigned base, bool upper, size_t width,
               Char16 pad) {
  char digits[24];
  size_t n = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits[n++] = set[value % base];
    value /= base;
  } while (value != 0 && n < sizeof(digits));
  size_t length = n + (negative ? 1 : 0);
  if (negative && pad == u'0') SinkPut(sink, u'-');
  if (width > length) SinkRepeat(sink, pad, width - length);
  if (negative && pad != u'0') SinkPut(sink, u'-');
  while (n > 0) SinkPut(sink, static_cast<Char16>(digits[--n]));
}

// %s and %a: a UCS-2 or 8-bit string, right-aligned in width.
void PutText(FormatSink* sink, const FormatArg& arg, size_t width) {
  size_t length = 0;
  if (arg.Kind == FormatKind::Text16) {
    const Char16* s = arg.Text16 != nullptr ? arg.Text16 : u"<null string>";
    while (s[length] != 0) length++;
    if (width > length) SinkRepeat(sink, u' ', width - length);
    for (size_t i = 0; i < length; i++) SinkPut(sink, s[i]);
  } else {
    const char* s = arg.Text8 != nullptr ? arg.Text8 : "<null string>";
    while (s[length] != 0) length++;
    if (width > length) SinkRepeat(sink, u' ', width - length);
    for (size_t i = 0; i < length; i++) SinkPut(sink, static_cast<Char16>(static_cast<uint8_t>(s[i])));
  }
}

// %d %i %u %x %X: a number, its sign only for a negative %d or %i.
void PutInteger(FormatSink* sink, const FormatArg& arg, Char16 conversion, size_t width, Char16 pad) {
  uint64_t magnitude;
  bool negative = false;
  const unsigned base = (conversion == u'x' || conversion == u'X') ? 16 : 10;
  if (arg.Kind == FormatKind::Signed) {
    if (base == 10 && conversion != u'u' && arg.Signed < 0) {
      negative = true;
      magnitude = 0 - static_cast<uint64_t>(arg.Signed);
    } else {
      magnitude = static_cast<uint64_t>(arg.Signed);
      // A negative int in hex shows its 32-bit pattern, as a C variadic int would.
      if (arg.Signed < 0 && arg.Signed >= INT32_MIN) magnitude &= 0xFFFFFFFFull;
    }
  } else {
    magnitude = arg.Unsigned;
  }
  PutNumber(sink, magnitude, negative, base, conversion == u'X', width, pad);
}

// One conversion with its argument. False for a conversion this formatter
// does not know: the caller prints it as written and keeps the argument.
bool PutConversion(FormatSink* sink, const FormatArg& arg, Char16 conversion, size_t width, Char16 pad) {
  const bool isText = arg.Kind == FormatKind::Text16 || arg.Kind == FormatKind::Text8;
  switch (conversion) {
    case u's':
    case u'a':
      if (isText) PutText(sink, arg, width);
      return true;
    case u'c':
      if (!isText) {
        const Char16 c = static_cast<Char16>(arg.Kind == FormatKind::Signed ? static_cast<uint64_t>(arg.Signed)
                                                                             : arg.Unsigned);
        if (width > 1) SinkRepeat(sink, u' ', width - 1);
        SinkPut(sink, c);
      }
      return true;
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X':
      if (!isText) PutInteger(sink, arg, conversion, width, pad);
      return true;
    default:
      return false;
  }
}

void PutAsWritten(FormatSink* sink, const Char16* from, const Char16* to) {
  for (const Char16* q = from; q < to; q++) SinkPut(sink, *q);
}

}  // namespace

size_t FormatInto(FormatSink* sink, const Char16* format, const FormatArg* args, size_t count) {
  size_t next = 0;
  for (const Char16* p = format; *p != 0; p++) {
    if (*p != u'%') {
      SinkPut(sink, *p);
      continue;
    }
    const Char16* start = p;
    p++;
    Char16 pad = u' ';
    if (*p == u'0') {
      pad = u'0';
      p++;
    }
    size_t width = 0;
    while (*p >= u'0' && *p <= u'9') {
      if (width < 1000) width = width * 10 + static_cast<size_t>(*p - u'0');
      p++;
    }
    while (*p == u'l') p++;
    const Char16 conversion = *p;
    if (conversion == 0) {  // a lone '%' at the end prints as written
      PutAsWritten(sink, start, p);
      break;
    }
    if (conversion == u'%') {
      SinkPut(sink, u'%');
    } else if (next >= count) {  // more conversions than arguments: print them as written
      PutAsWritten(sink, start, p + 1);
    } else if (PutConversion(sink, args[next], conversion, width, pad)) {
      next++;
    } else {  // unknown conversion: as written, and the argument stays for the next one
      PutAsWritten(sink, start, p + 1);
    }
  }
  return sink->Total;
}

size_t FormatToBuffer(Char16* out, size_t capacity, const Char16* format, const FormatArg* args, size_t count) {
  if (capacity == 0) return 0;
  FormatSink sink{out, capacity, 0, 0, false};
  FormatInto(&sink, format, args, count);
  out[sink.Used] = 0;
  return sink.Total;
}

void PrintArgs(const Char16* format, const FormatArg* args, size_t count) {
  Char16 buffer[256];
  FormatSink sink{buffer, sizeof(buffer) / sizeof(buffer[0]), 0, 0, true};
  FormatInto(&sink, format, args, count);
  SinkFlush(&sink);
}

Char16* FormatAllocArgs(const Char16* format, const FormatArg* args, size_t count) {
  Char16 probe[1];
  size_t length = FormatToBuffer(probe, 1, format, args, count);
  Char16* out = static_cast<Char16*>(PoolAllocate((length + 1) * sizeof(Char16)));
  if (out == nullptr) return nullptr;
  FormatToBuffer(out, length + 1, format, args, count);
  return out;
}
