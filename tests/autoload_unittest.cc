// The autoload patch: the bytes each mode writes at each flash size, which
// signature block counts, and what the console shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/option_state.h"
#include "image/autoload.h"
#include "sim/machine.h"

namespace {

AutoloadMode gMode;
int8_t gBlockCount;

void Prepare(AutoloadMode mode, int8_t blockCount) {
  sim::Boot(sim::MachineConfig());
  gMode = mode;
  gBlockCount = blockCount;
}

// A 4 KB image of a changing pattern with no signature in it.
std::vector<uint8_t> PlainImage(size_t size = 4096) {
  std::vector<uint8_t> image(size);
  for (size_t i = 0; i < size; i++) image[i] = static_cast<uint8_t>(i * 7 % 160);  // never 0xA5
  return image;
}

void PutSignature(std::vector<uint8_t>& image, size_t at) {
  image[at] = 0xA5;
  image[at + 1] = 0xA5;
  image[at + 2] = 0x11;
  image[at + 5] = 0x5A;
  image[at + 8] = 0x22;
}

std::vector<uint8_t> Patched(std::vector<uint8_t> image) {
  ImageBuffer buffer{image.data(), image.size()};
  PatchAutoload(buffer, gMode, gBlockCount);
  return image;
}

// (attribute, text) of every text the console got.
std::vector<std::pair<size_t, std::u16string>> Texts() {
  std::vector<std::pair<size_t, std::u16string>> out;
  for (const sim::ConsoleCall& call : sim::TheMachine().Screen.Calls)
    if (call.What == sim::ConsoleCall::Kind::Text) out.push_back({call.Attribute, call.Text});
  return out;
}

TEST(Autoload, EachModeWritesItsValuesForTheBlockCount) {
  struct Case {
    AutoloadMode Mode;
    int8_t Blocks;
    uint8_t First;
    uint8_t Second;
    const char16_t* Message;
  } cases[] = {
      {AutoloadMode::Disable, 1, 0x94, 0x00, u"               AutoLoad Disabled\n"},
      {AutoloadMode::Disable, 2, 0x94, 0x00, u"               AutoLoad Disabled\n"},
      {AutoloadMode::Disable, 3, 0x85, 0x00, u"               AutoLoad Disabled\n"},
      {AutoloadMode::Disable, 4, 0x85, 0x00, u"               AutoLoad Disabled\n"},
      {AutoloadMode::On, 1, 0x94, 0x7F, u"               AutoLoad On\n"},
      {AutoloadMode::On, 2, 0x94, 0x7F, u"               AutoLoad On\n"},
      {AutoloadMode::On, 3, 0x85, 0xBE, u"               AutoLoad On\n"},
      {AutoloadMode::On, 4, 0x85, 0xBE, u"               AutoLoad On\n"},
      {AutoloadMode::Off, 1, 0xA5, 0xAA, u"               AutoLoad Off\n"},
      {AutoloadMode::Off, 2, 0xA5, 0xAA, u"               AutoLoad Off\n"},
      {AutoloadMode::Off, 3, 0xB5, 0xAA, u"               AutoLoad Off\n"},
      {AutoloadMode::Off, 4, 0xB5, 0xAA, u"               AutoLoad Off\n"},
  };
  for (const Case& c : cases) {
    Prepare(c.Mode, c.Blocks);
    std::vector<uint8_t> image = PlainImage();
    PutSignature(image, 1001);  // no alignment
    std::vector<uint8_t> expected = image;
    expected[1003] = c.First;
    expected[1009] = c.Second;
    EXPECT_EQ(Patched(image), expected) << int(c.Mode) << "/" << int(c.Blocks);
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].first, 0x0Eu);
    EXPECT_EQ(texts[0].second, c.Message);
    EXPECT_EQ(sim::TheMachine().Screen.Attribute, 0x0Fu);
  }
}

TEST(Autoload, OnlyTheFirstSignatureChanges) {
  Prepare(AutoloadMode::Disable, 2);
  std::vector<uint8_t> image = PlainImage();
  PutSignature(image, 300);
  PutSignature(image, 2000);
  std::vector<uint8_t> expected = image;
  expected[302] = 0x94;
  expected[308] = 0x00;
  EXPECT_EQ(Patched(image), expected);
}

TEST(Autoload, ASignatureInTheLastNineBytesIsPatched) {
  Prepare(AutoloadMode::On, 3);
  std::vector<uint8_t> image = PlainImage();
  PutSignature(image, image.size() - 9);
  std::vector<uint8_t> expected = image;
  expected[image.size() - 7] = 0x85;
  expected[image.size() - 1] = 0xBE;
  EXPECT_EQ(Patched(image), expected);
}

TEST(Autoload, ABlockRunningPastTheEndIsNoSignature) {
  // 0xA5 0xA5 and 0x5A in place, but byte +8 would lie past the image.
  for (size_t cut : {1u, 3u}) {
    Prepare(AutoloadMode::Off, 1);
    std::vector<uint8_t> image = PlainImage(64);
    PutSignature(image, 40);
    image.resize(49 - cut);
    EXPECT_EQ(Patched(image), image) << cut;
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(sim::TheMachine().Screen.Attribute, 0x0Fu);
  }
}

TEST(Autoload, NothingChangesWithoutASignatureOrAMode) {
  struct Case {
    AutoloadMode Mode;
    bool Signature;
  } cases[] = {{AutoloadMode::Disable, false}, {AutoloadMode::None, true}, {AutoloadMode::On, false}};
  for (const Case& c : cases) {
    Prepare(c.Mode, 2);
    std::vector<uint8_t> image = PlainImage();
    if (c.Signature) PutSignature(image, 10);
    EXPECT_EQ(Patched(image), image);
    EXPECT_TRUE(Texts().empty());
    const auto& calls = sim::TheMachine().Screen.Calls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].What, sim::ConsoleCall::Kind::Attribute);
    EXPECT_EQ(calls[0].Attribute, 0x0Fu);
  }
}

TEST(Autoload, AnEmptyImageIsLeftAlone) {
  Prepare(AutoloadMode::Disable, 2);
  ImageBuffer empty{nullptr, 0};
  PatchAutoload(empty, gMode, gBlockCount);
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(sim::TheMachine().Screen.Attribute, 0x0Fu);
}

}  // namespace
