// The formatter: UEFI conventions, widths, argument kinds, and what it
// refuses to guess.
#include <gtest/gtest.h>

#include <string>

#include "platform/format.h"

namespace {

template <typename... Args>
std::u16string Fmt(const char16_t* format, Args... args) {
  Char16 buffer[512];
  FormatString(buffer, 512, format, args...);
  return std::u16string(buffer);
}

struct NumberCase {
  const char16_t* Format;
  long long Value;
  const char16_t* Expected;
};

TEST(Format, NumbersWithWidthAndPadding) {
  const NumberCase cases[] = {
      {u"%d", 0, u"0"},
      {u"%d", -42, u"-42"},
      {u"%02d", 7, u"07"},
      {u"%02d", 123, u"123"},
      {u"%04X", 0xFF00, u"FF00"},
      {u"%04X", 0x2A, u"002A"},
      {u"%08x", 0x3FF, u"000003ff"},
      {u"%02x", 0xEF, u"ef"},
      {u"%x", 0x31C00, u"31c00"},
      {u"%5d", 42, u"   42"},
      {u"%05d", -42, u"-0042"},
      {u"%u", 4000000000LL, u"4000000000"},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(Fmt(c.Format, c.Value), c.Expected) << std::string(c.Format, c.Format + 3);
  }
}

TEST(Format, SixtyFourBitValuesKeepAllTheirBits) {
  uint64_t big = 18446744073709551615ull;
  EXPECT_EQ(Fmt(u"%d", big), u"18446744073709551615");
  EXPECT_EQ(Fmt(u"%lu", big), u"18446744073709551615");
  EXPECT_EQ(Fmt(u"(%d)", uint64_t{10000000000ull}), u"(10000000000)");
  EXPECT_EQ(Fmt(u"%llX", uint64_t{0x123456789ABCull}), u"123456789ABC");
}

TEST(Format, NarrowTypesPromoteLikeVariadicArguments) {
  uint8_t byte = 0xEF;
  int8_t block = 3;
  uint16_t word = 65535;
  EXPECT_EQ(Fmt(u"0x%02x ", byte), u"0xef ");
  EXPECT_EQ(Fmt(u"(%d)K", 64 * block), u"(192)K");
  EXPECT_EQ(Fmt(u"%d", word), u"65535");
  EXPECT_EQ(Fmt(u"%x", -1), u"ffffffff");  // an int shows its 32-bit pattern
}

TEST(Format, StringsAndCharacters) {
  EXPECT_EQ(Fmt(u"%s\\%s", u"\\EC\\TOOLS", u"A.BIN"), u"\\EC\\TOOLS\\A.BIN");
  EXPECT_EQ(Fmt(u"%a!", "ascii"), u"ascii!");
  EXPECT_EQ(Fmt(u"%c*", 8), u"\b*");
  EXPECT_EQ(Fmt(u"x %c%c", 13, 10), u"x \r\n");
  EXPECT_EQ(Fmt(u"%c", char16_t{0x00E9}), u"\u00e9");
  const Char16* none = nullptr;
  EXPECT_EQ(Fmt(u"[%s]", none), u"[<null string>]");
}

TEST(Format, LineEndsAndPercentSignsPassThrough) {
  EXPECT_EQ(Fmt(u"a\nb\n\rc"), u"a\nb\n\rc");
  EXPECT_EQ(Fmt(u"100%%"), u"100%");
  EXPECT_EQ(Fmt(u"%s", u"50%d"), u"50%d");  // an argument is never a format
}

TEST(Format, MismatchesAndMissingArgumentsAreNotGuessed) {
  EXPECT_EQ(Fmt(u"%d and %d", 1), u"1 and %d");
  EXPECT_EQ(Fmt(u"[%s]", 5), u"[]");
  EXPECT_EQ(Fmt(u"[%d]", u"text"), u"[]");
  EXPECT_EQ(Fmt(u"tail %"), u"tail %");
  EXPECT_EQ(Fmt(u"%q", 1), u"%q");
}

TEST(Format, CutsToTheBufferAndReportsTheFullLength) {
  Char16 small[6];
  size_t length = FormatString(small, 6, u"%s", u"0123456789");
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(std::u16string(small), u"01234");
}

}  // namespace
