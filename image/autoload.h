// Rewriting the image's autoload bytes before programming.
#pragma once

#include "image/image_buffer.h"

void PatchAutoload(ImageBuffer& image);
