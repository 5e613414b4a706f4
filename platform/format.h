// Formatted console output with UEFI conventions, shared by both backends.
//
//   %s  UCS-2 string      %a  ASCII string      %c  UCS-2 character
//   %d  signed decimal    %u  unsigned decimal  %x %X  hexadecimal
//   width and '0' padding: %02d %04X %08x; 'l'/'ll' are accepted and ignored,
//   because every argument carries its own width (see FormatArg).
//
// Arguments are packed by a variadic template into tagged FormatArgs, so a
// 64-bit value is always printed as 64 bits and an unsupported argument type
// does not compile. Nothing here translates line ends: "\n" stays one LF.
#pragma once

#include "platform/platform.h"

enum class FormatKind : uint8_t { Signed, Unsigned, Text16, Text8 };

struct FormatArg {
  FormatKind Kind;
  union {
    int64_t Signed;
    uint64_t Unsigned;
    const Char16* Text16;
    const char* Text8;
  };
};

constexpr FormatArg MakeFormatArg(int v) { FormatArg a{FormatKind::Signed, {}}; a.Signed = v; return a; }
constexpr FormatArg MakeFormatArg(long v) { FormatArg a{FormatKind::Signed, {}}; a.Signed = v; return a; }
constexpr FormatArg MakeFormatArg(long long v) { FormatArg a{FormatKind::Signed, {}}; a.Signed = v; return a; }
constexpr FormatArg MakeFormatArg(unsigned v) { FormatArg a{FormatKind::Unsigned, {}}; a.Unsigned = v; return a; }
constexpr FormatArg MakeFormatArg(unsigned long v) { FormatArg a{FormatKind::Unsigned, {}}; a.Unsigned = v; return a; }
constexpr FormatArg MakeFormatArg(unsigned long long v) { FormatArg a{FormatKind::Unsigned, {}}; a.Unsigned = v; return a; }
constexpr FormatArg MakeFormatArg(Char16 v) { FormatArg a{FormatKind::Unsigned, {}}; a.Unsigned = v; return a; }
constexpr FormatArg MakeFormatArg(const Char16* v) { FormatArg a{FormatKind::Text16, {}}; a.Text16 = v; return a; }
constexpr FormatArg MakeFormatArg(Char16* v) { FormatArg a{FormatKind::Text16, {}}; a.Text16 = v; return a; }
constexpr FormatArg MakeFormatArg(const char* v) { FormatArg a{FormatKind::Text8, {}}; a.Text8 = v; return a; }
// Narrow integer types promote as they would through a C variadic call.
constexpr FormatArg MakeFormatArg(unsigned char v) { return MakeFormatArg(static_cast<unsigned>(v)); }
constexpr FormatArg MakeFormatArg(signed char v) { return MakeFormatArg(static_cast<int>(v)); }
constexpr FormatArg MakeFormatArg(unsigned short v) { return MakeFormatArg(static_cast<unsigned>(v)); }
constexpr FormatArg MakeFormatArg(short v) { return MakeFormatArg(static_cast<int>(v)); }
constexpr FormatArg MakeFormatArg(char v) { return MakeFormatArg(static_cast<int>(v)); }
constexpr FormatArg MakeFormatArg(bool v) = delete;

// Receives formatted text in pieces.
struct FormatSink {
  Char16* Buffer;    // where the pieces collect
  size_t Capacity;   // characters in Buffer, the terminator included
  size_t Used;       // characters collected so far
  size_t Total;      // characters produced in all (may exceed Capacity)
  bool FlushToConsole;  // flush full buffers with ConOutputString
};

// Formats into the sink. Returns the number of characters produced.
size_t FormatInto(FormatSink* sink, const Char16* format, const FormatArg* args, size_t count);

// Formats into out (capacity characters, NUL included); the text is cut when
// it does not fit. Returns the full length it would have had.
size_t FormatToBuffer(Char16* out, size_t capacity, const Char16* format, const FormatArg* args, size_t count);

void PrintArgs(const Char16* format, const FormatArg* args, size_t count);
[[nodiscard]] Char16* FormatAllocArgs(const Char16* format, const FormatArg* args, size_t count);

// Formatted console print (the firmware's Print).
template <typename... Args>
void Print(const Char16* format, Args... args) {
  const FormatArg packed[sizeof...(Args) + 1] = {MakeFormatArg(args)...};
  PrintArgs(format, packed, sizeof...(Args));
}

// Moves the cursor, then prints.
template <typename... Args>
void PrintAt(size_t column, size_t row, const Char16* format, Args... args) {
  (void)ConSetCursorPosition(column, row);  // off screen: the text goes where the cursor is
  Print(format, args...);
}

// Formats into a new pool allocation (the firmware's CatSPrint/AllocatePrint);
// nullptr when the pool refuses. Free it with PoolFree.
template <typename... Args>
[[nodiscard]] Char16* FormatAlloc(const Char16* format, Args... args) {
  const FormatArg packed[sizeof...(Args) + 1] = {MakeFormatArg(args)...};
  return FormatAllocArgs(format, packed, sizeof...(Args));
}

// Formats into a caller's buffer; returns the full length.
template <typename... Args>
size_t FormatString(Char16* out, size_t capacity, const Char16* format, Args... args) {
  const FormatArg packed[sizeof...(Args) + 1] = {MakeFormatArg(args)...};
  return FormatToBuffer(out, capacity, format, packed, sizeof...(Args));
}
