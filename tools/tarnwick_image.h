// tarnwick-image: looks at, compares and makes EC ROM images offline.
// Each subcommand lives in its own file; this header joins them to main().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace image_tool {

// Exit statuses of info and make (compare answers like cmp: 0, 1, 2).
constexpr int kExitOk = 0;
constexpr int kExitUsage = 64;  // a bad command line or argument
constexpr int kExitIo = 74;     // a file could not be read or written

// Reads the whole file. On failure returns false and "PATH: cause".
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// The first autoload signature the product's patch would rewrite: true and
// its offset, or false.
bool FindAutoload(const std::vector<uint8_t>& image, size_t* at);
// What the value bytes (+2, +8) mean, e.g. "autoload disabled (1 or 2
// blocks)", or nullptr when no autoload setting writes them.
const char* AutoloadSetting(uint8_t first, uint8_t second);

int RunInfo(const std::vector<std::string>& args);
int RunCompare(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);
int RunMake(const std::vector<std::string>& args);

// The identity lines tarnwick prints for the image ("File EC Project: ...",
// "File EC Version: ...", "File EC Build Date: ...  Check Sum: ..."), made
// by the product's own code on the simulated machine's console; one per
// line, without carriage returns.
std::string IdentityLines(const std::vector<uint8_t>& image);

}  // namespace image_tool
