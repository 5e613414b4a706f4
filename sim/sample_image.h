// Sample EC ROM images for tests and tools (layout: sample_image_bytes.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sample_image_bytes.h"

namespace sim {

std::vector<uint8_t> MakeSampleImage(size_t size, const std::string& project, const std::string& version,
                                     const std::string& date, uint32_t seed);

}  // namespace sim
