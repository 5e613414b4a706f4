// Rewrites the autoload bytes of the image in memory before programming.
//
// The autoload block is nine bytes anywhere in the image, marked by 0xA5 0xA5
// at +0/+1 and 0x5A at +5; the EC firmware reads its setting from +2 and +8.
// Only the first block counts, and only one that lies wholly inside the
// image, so nothing is ever read or written past the image's last byte.
#include "image/autoload.h"

#include "platform/format.h"
#include "platform/platform.h"

namespace {

constexpr uint64_t kSignatureLength = 9;

struct AutoloadRow {
  uint8_t SmallFirst;   // block count 1 or 2
  uint8_t SmallSecond;
  uint8_t LargeFirst;   // any other block count
  uint8_t LargeSecond;
  const Char16* Message;
};

// Indexed by AutoloadMode; None has no row of its own.
constexpr AutoloadRow kAutoloadTable[] = {
    {0, 0, 0, 0, nullptr},
    {0x94, 0x00, 0x85, 0x00, u"               AutoLoad Disabled\n"},
    {0x94, 0x7F, 0x85, 0xBE, u"               AutoLoad On\n"},
    {0xA5, 0xAA, 0xB5, 0xAA, u"               AutoLoad Off\n"},
};
static_assert(sizeof(kAutoloadTable) / sizeof(kAutoloadTable[0]) == 4, "one row per AutoloadMode");

}  // namespace

uint64_t FindAutoloadSignature(const uint8_t* data, uint64_t length) {
  if (data == nullptr || length < kSignatureLength) return length;
  for (uint64_t i = 0; i + kSignatureLength <= length; i++) {
    if (data[i] == 0xA5 && data[i + 1] == 0xA5 && data[i + 5] == 0x5A) return i;
  }
  return length;
}

bool AutoloadValues(AutoloadMode choice, int8_t blockCount, uint8_t* first, uint8_t* second) {
  const uint8_t mode = static_cast<uint8_t>(choice);
  if (mode == 0 || mode >= 4) return false;
  const AutoloadRow& row = kAutoloadTable[mode];
  const bool small = blockCount == 1 || blockCount == 2;
  *first = small ? row.SmallFirst : row.LargeFirst;
  *second = small ? row.SmallSecond : row.LargeSecond;
  return true;
}

void PatchAutoload(ImageBuffer& image, AutoloadMode choice, int8_t blockCount) {
  uint8_t first = 0, second = 0;
  if (AutoloadValues(choice, blockCount, &first, &second) && image.Length != 0) {
    const uint64_t at = FindAutoloadSignature(image.Data, image.Length);
    if (at < image.Length) {
      image.Data[at + kAutoloadFirstByte] = first;
      image.Data[at + kAutoloadSecondByte] = second;
      ConSetAttribute(kAttrAutoload);
      Print(kAutoloadTable[static_cast<uint8_t>(choice)].Message);
    }
  }
  ConSetAttribute(kAttrNormal);
}
