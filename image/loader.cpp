// Placeholder until the real code lands.
#include "image/loader.h"

EfiStatus LoadImageFile(const Char16*, ImageBuffer* image) {
  image->Data = nullptr;
  image->Length = 0;
  return kEfiNotFound;
}
