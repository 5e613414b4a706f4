// The image's identity tags, checksum and the project check.
#pragma once

#include <stdint.h>

#include "image/image_buffer.h"
#include "platform/name_text.h"

void ShowImageProject(uint8_t name[kNameBufferSize], const ImageBuffer& image);
void ShowImageVersion(uint8_t version[kNameBufferSize], const ImageBuffer& image);
// True to go on with the update: the names match, force (/y) is set, or the
// user answered 'Y' at the prompt. False when the user declined.
[[nodiscard]] bool CheckImageProject(const uint8_t ecName[kNameBufferSize], const uint8_t imageName[kNameBufferSize],
                                     bool force);
