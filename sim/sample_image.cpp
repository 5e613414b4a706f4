#include "sim/sample_image.h"

namespace sim {

std::vector<uint8_t> MakeSampleImage(size_t size, const std::string& project, const std::string& version,
                                     const std::string& date, uint32_t seed) {
  std::vector<uint8_t> image(size);
  WriteSampleImage(image.data(), size, {project.data(), project.size()}, {version.data(), version.size()},
                   {date.data(), date.size()}, seed);
  return image;
}

}  // namespace sim
