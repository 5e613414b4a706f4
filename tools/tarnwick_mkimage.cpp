// tarnwick-mkimage: writes a sample EC ROM image (pseudo-random bytes with the
// identity tags and an autoload signature, see sim/sample_image.h).
//   tarnwick-mkimage OUT --size N --project P --version V --date D [--seed S]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "sim/sample_image.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tarnwick-mkimage OUT --size N --project P --version V --date D [--seed S]\n"
      "  N in bytes, or with K (192K); at most 1024K. Tags: PRJ:P$ at 0x80, VER:V$ at 0xA0, DATE:D$ at 0xC0;\n"
      "  autoload signature at 0x40.\n",
      stderr);
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, project = "TESTPRJ", version = "1.00.00", date = "2026/01/01";
  unsigned long long size = 3 * 65536;
  unsigned long seed = 1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else if (a == "--size" && hasValue) {
      char* end = nullptr;
      size = std::strtoull(argv[++i], &end, 0);
      if (*end == 'K' || *end == 'k') {
        size *= 1024;
        ++end;
      }
      if (*end != 0 || size == 0 || size > 1024 * 1024) return Usage();
    } else if (a == "--project" && hasValue) {
      project = argv[++i];
    } else if (a == "--version" && hasValue) {
      version = argv[++i];
    } else if (a == "--date" && hasValue) {
      date = argv[++i];
    } else if (a == "--seed" && hasValue) {
      seed = std::strtoul(argv[++i], nullptr, 0);
    } else if (a.compare(0, 2, "--") != 0 && out.empty()) {
      out = a;
    } else {
      return Usage();
    }
  }
  if (out.empty()) return Usage();
  std::vector<uint8_t> image = sim::MakeSampleImage(static_cast<size_t>(size), project, version, date,
                                                    static_cast<uint32_t>(seed));
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (!file) {
    std::fprintf(stderr, "tarnwick-mkimage: cannot write %s\n", out.c_str());
    return 74;
  }
  return 0;
}
