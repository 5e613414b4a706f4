// tarnwick-image compare: two files byte for byte (verify judges a /r dump
// against an image as tarnwick writes it). Exit 0 equal, 1 different, 2
// trouble, like cmp.
#include <algorithm>
#include <cstdio>

#include "tools/tarnwick_image.h"

namespace image_tool {

namespace {

constexpr int kEqual = 0, kDiffer = 1, kTrouble = 2;
constexpr size_t kBlock = 65536;

// One line for the block starting at start: its common part, and what lies
// beyond the shorter file.
std::string BlockLine(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t start) {
  const size_t common = std::min(a.size(), b.size());
  const std::vector<uint8_t>& longer = a.size() > b.size() ? a : b;
  const size_t end = std::min(start + kBlock, longer.size());
  size_t differing = 0;
  for (size_t i = start; i < std::min(end, common); i++) differing += a[i] != b[i];
  std::string line;
  char text[96];
  std::snprintf(text, sizeof(text), "block %zu (0x%06zX-0x%06zX): ", start / kBlock, start, end - 1);
  line = text;
  if (start < common) {
    if (differing == 0) {
      line += "equal";
    } else {
      std::snprintf(text, sizeof(text), "differs (%zu bytes)", differing);
      line += text;
    }
  }
  if (end > common) {
    const size_t from = std::max(start, common);
    const bool allFF = std::all_of(longer.begin() + static_cast<long>(from), longer.begin() + static_cast<long>(end),
                                   [](uint8_t v) { return v == 0xFF; });
    if (start < common) line += "; then ";
    line += allFF ? "beyond the shorter file: all 0xFF" : "beyond the shorter file: not all 0xFF";
  }
  return line;
}

}  // namespace

int RunCompare(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fputs("tarnwick-image: compare takes two files: compare A B\n", stderr);
    return kTrouble;
  }
  std::vector<uint8_t> a, b;
  std::string error;
  if (!ReadWholeFile(args[0], &a, &error) || !ReadWholeFile(args[1], &b, &error)) {
    std::fprintf(stderr, "tarnwick-image: cannot read %s\n", error.c_str());
    return kTrouble;
  }
  if (a == b) {
    std::printf("%s and %s are equal (%zu bytes)\n", args[0].c_str(), args[1].c_str(), a.size());
    return kEqual;
  }
  const size_t common = std::min(a.size(), b.size());
  size_t first = common, differing = 0;
  for (size_t i = 0; i < common; i++) {
    if (a[i] == b[i]) continue;
    if (differing++ == 0) first = i;
  }
  std::string values = " (the shorter file ends there)";
  if (first < common) {
    char text[64];
    std::snprintf(text, sizeof(text), " (0x%02X and 0x%02X)", a[first], b[first]);
    values = text;
  }
  std::printf("%s and %s differ: first at 0x%06zX%s, %zu differing bytes in the first %zu\n", args[0].c_str(),
              args[1].c_str(), first, values.c_str(), differing, common);
  if (a.size() != b.size()) {
    std::printf("sizes: %zu and %zu bytes; %s is the shorter\n", a.size(), b.size(),
                (a.size() < b.size() ? args[0] : args[1]).c_str());
  }
  const size_t longest = std::max(a.size(), b.size());
  for (size_t start = 0; start < longest; start += kBlock) std::printf("%s\n", BlockLine(a, b, start).c_str());
  return kDiffer;
}

}  // namespace image_tool
