// Placeholder until the real code lands.
#include "image/autoload.h"
#include "platform/platform.h"

void PatchAutoload(ImageBuffer&) { ConSetAttribute(kAttrNormal); }
