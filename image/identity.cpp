// Placeholder until the real code lands.
#include "image/identity.h"

void ShowImageProject(uint8_t name[kNameBufferSize], const ImageBuffer&) { name[0] = 0; }
void ShowImageVersion(uint8_t version[kNameBufferSize], const ImageBuffer&) { version[0] = 0; }
bool CheckImageProject(const uint8_t*, const uint8_t*) { return true; }
