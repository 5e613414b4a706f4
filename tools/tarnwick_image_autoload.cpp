// The autoload value bytes as tarnwick's own patch finds and writes them,
// for info (what the image says) and verify (what a dump may hold).
#include "image/autoload.h"
#include "tools/tarnwick_image.h"

namespace image_tool {

namespace {

struct Setting {
  AutoloadMode Mode;
  int8_t BlockCount;
  const char* Meaning;
};

constexpr Setting kSettings[] = {
    {AutoloadMode::On, 1, "autoload on (1 or 2 blocks)"},
    {AutoloadMode::On, 3, "autoload on (3 or 4 blocks)"},
    {AutoloadMode::Disable, 1, "autoload disabled (1 or 2 blocks)"},
    {AutoloadMode::Disable, 3, "autoload disabled (3 or 4 blocks)"},
    {AutoloadMode::Off, 1, "autoload off (1 or 2 blocks)"},
    {AutoloadMode::Off, 3, "autoload off (3 or 4 blocks)"},
};

}  // namespace

bool FindAutoload(const std::vector<uint8_t>& image, size_t* at) {
  const uint64_t found = FindAutoloadSignature(image.data(), image.size());
  if (found >= image.size()) return false;
  *at = static_cast<size_t>(found);
  return true;
}

const char* AutoloadSetting(uint8_t first, uint8_t second) {
  for (const Setting& setting : kSettings) {
    uint8_t a = 0, b = 0;
    if (AutoloadValues(setting.Mode, setting.BlockCount, &a, &b) && a == first && b == second) {
      return setting.Meaning;
    }
  }
  return nullptr;
}

}  // namespace image_tool
