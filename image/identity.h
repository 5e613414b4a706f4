// The image's identity tags, checksum and the project check.
#pragma once

#include <stdint.h>

#include "ec/board_queries.h"
#include "image/image_buffer.h"

void ShowImageProject(uint8_t name[kNameBufferSize], const ImageBuffer& image);
void ShowImageVersion(uint8_t version[kNameBufferSize], const ImageBuffer& image);
// True to go on with the update, false when the user declined.
bool CheckImageProject(const uint8_t ecName[kNameBufferSize], const uint8_t imageName[kNameBufferSize]);
