// The image's identity lines and the project check against the EC.
#include "image/identity.h"

#include "image/image_tags.h"
#include "platform/format.h"
#include "platform/name_text.h"
#include "platform/text.h"

namespace {

constexpr uint8_t kProjectKeyword[] = {'P', 'R', 'J', ':'};
constexpr uint8_t kVersionKeyword[] = {'V', 'E', 'R', ':'};
constexpr uint8_t kDateKeyword[] = {'D', 'A', 'T', 'E', ':'};

uint16_t ImageChecksum(const ImageBuffer& image) {
  uint16_t sum = 0;
  for (uint64_t i = 0; i < image.Length; i++) sum = static_cast<uint16_t>(sum + image.Data[i]);
  return sum;
}

}  // namespace

void ShowImageProject(uint8_t name[kNameBufferSize], const ImageBuffer& image) {
  MemSet(name, 0, kNameBufferSize);
  uint64_t offset = 0;
  if (FindImageTag(image, kProjectKeyword, sizeof(kProjectKeyword), &offset)) {
    ImageCopyTagValue(image, offset, name);
  }
  if (name[0] == 0) {
    ConSetAttribute(kAttrError);
    ConOutputString(u"This file is not EC file, Check it, Please.\n\r");
    ConSetAttribute(kAttrNormal);
    return;
  }
  Print(u"File EC Project: ");
  ConSetAttribute(kAttrProject);
  PrintNameText(name, kNameBufferSize);
  Print(u"\n");
  ConSetAttribute(kAttrNormal);
}

void ShowImageVersion(uint8_t version[kNameBufferSize], const ImageBuffer& image) {
  MemSet(version, 0, kNameBufferSize);
  uint64_t offset = 0;
  if (FindImageTag(image, kVersionKeyword, sizeof(kVersionKeyword), &offset)) {
    ImageCopyTagValue(image, ImageSkipVersionPrefix(image, offset), version);
  }
  if (version[0] == 0) {
    ConSetAttribute(kAttrError);
    ConOutputString(u"This file can not get EC version, Check it, Please.\n\r");
  } else {
    ConOutputString(u"File EC Version: ");
    ConSetAttribute(kAttrVersion);
    // The skip scan consumed the tag's "1."; show it again in front.
    Print(u"1.");
    PrintNameText(version, kNameBufferSize);
    Print(u"\n");
  }
  ConSetAttribute(kAttrNormal);
  Print(u"File EC Build Date: ");
  if (FindImageTag(image, kDateKeyword, sizeof(kDateKeyword), &offset)) {
    const uint64_t left = image.Length - offset;
    PrintNameText(image.Data + offset, left < kNameBufferSize ? static_cast<size_t>(left) : kNameBufferSize);
  }
  Print(u"        Check Sum: ");
  ConSetAttribute(kAttrChecksum);
  Print(u"%04X\n", static_cast<unsigned>(ImageChecksum(image)));
  ConSetAttribute(kAttrNormal);
}

bool CheckImageProject(const uint8_t ecName[kNameBufferSize], const uint8_t imageName[kNameBufferSize], bool force) {
  // The names must agree up to and including the EC name's first '$' (or
  // NUL); sixteen equal bytes with neither also count as a match.
  unsigned i = 0;
  while (i < kNameBufferSize && ecName[i] != 0 && ecName[i] != '$' && ecName[i] == imageName[i]) i++;
  const bool match = i == kNameBufferSize || ecName[i] == imageName[i];
  if (match || force) return true;

  ConSetAttribute(kAttrError);
  Print(u"It's difference project, this file can't use on this machine\n");
  Print(u"Press 'Y' key to continue update, the others key to quit(Y/N)?");
  ConSetAttribute(kAttrNormal);
  ConEnableCursor(true);
  // Only a key actually read is an answer; a wake-up without one waits again.
  InputKey key;
  EfiStatus status;
  do {
    key.ScanCode = 0;
    key.UnicodeChar = 0;
    ConWaitForKey();
    status = ConReadKeyStroke(&key);
  } while (EfiIsError(status));
  ConEnableCursor(false);
  if (key.UnicodeChar == u'Y' || key.UnicodeChar == u'y') {
    Print(u"\nSelectd to continue this update\n");
    return true;
  }
  Print(u"\nSelectd to quit this update\n");
  return false;
}
