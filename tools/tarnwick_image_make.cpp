// tarnwick-image make: writes a sample image (sim/sample_image.h) after
// checking that tarnwick can show every tag of it whole. Nothing is written
// when an argument is refused, and an existing file is kept unless --force.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "ec/board_queries.h"
#include "flash/flash_mode.h"
#include "sim/sample_image.h"
#include "tools/tarnwick_image.h"

namespace image_tool {

namespace {

constexpr size_t kMaxSize = 1024 * 1024;
// tarnwick shows a tag value up to its '$', at most 16 bytes; the version
// after the "1." it looks for first.
constexpr size_t kMaxShown = kNameBufferSize;
constexpr char kVersionPrefix[] = "1.";

// Why a tag value cannot be shown whole, or "" when it can.
std::string TagValueProblem(const std::string& value, size_t limit) {
  if (value.empty()) return "empty";
  if (value.size() > limit) return "longer than " + std::to_string(limit) + " characters (tarnwick shows " +
                                    std::to_string(limit) + ")";
  for (char c : value) {
    if (c == '$') return "holds a '$' (tarnwick stops there)";
    if (c < 0x20 || c > 0x7E) return "holds a character that is not printable ASCII";
  }
  for (const char* keyword : {"PRJ:", "VER:", "DATE:"}) {
    if (value.find(keyword) != std::string::npos) return std::string("holds the tag keyword ") + keyword;
  }
  return "";
}

bool ParseSize(const std::string& text, size_t* size, std::string* why) {
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (end == text.c_str() || text[0] == '-' || errno != 0) {
    *why = "not a number";
    return false;
  }
  if (*end == 'K' || *end == 'k') {
    value = value > kMaxSize ? kMaxSize + 1 : value * 1024;
    ++end;
  }
  if (*end != 0) {
    *why = "not a number of bytes (e.g. 196608 or 192K)";
    return false;
  }
  if (value > kMaxSize) {
    *why = "larger than 1024K";
    return false;
  }
  *size = static_cast<size_t>(value);
  return true;
}

bool ParseSeed(const std::string& text, uint32_t* seed) {
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (end == text.c_str() || *end != 0 || text[0] == '-' || errno != 0 || value > 0xFFFFFFFFull) return false;
  *seed = static_cast<uint32_t>(value);
  return true;
}

// Renames the written file to its name; without force never over a file
// that appeared meanwhile (errno EEXIST then).
bool MoveInPlace(const std::string& from, const std::string& to, bool force) {
  if (force) return std::rename(from.c_str(), to.c_str()) == 0;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: a hard link never replaces either.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  std::remove(from.c_str());
  return true;
}

int Refuse(const std::string& message) {
  std::fprintf(stderr, "tarnwick-image: make: %s\n", message.c_str());
  return kExitUsage;
}

}  // namespace

int RunMake(const std::vector<std::string>& args) {
  std::string out;
  std::map<std::string, std::string> given;
  bool force = false;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& a = args[i];
    if (a == "--force") {
      force = true;
    } else if (a == "--size" || a == "--project" || a == "--version" || a == "--date" || a == "--seed") {
      if (i + 1 >= args.size()) return Refuse(a + " needs a value");
      if (given.count(a) != 0) return Refuse(a + " is given twice");
      given[a] = args[++i];
    } else if (a.compare(0, 1, "-") == 0) {
      return Refuse("unknown option " + a);
    } else if (out.empty()) {
      out = a;
    } else {
      return Refuse("unexpected argument " + a + " (OUT is " + out + ")");
    }
  }
  if (out.empty()) return Refuse("no OUT file given (make OUT [--size N] [--project P] ...)");
  auto value = [&](const char* option, const char* fallback) {
    return given.count(option) != 0 ? given[option] : std::string(fallback);
  };
  const std::string project = value("--project", "TESTPRJ");
  const std::string version = value("--version", "1.00.00");
  const std::string date = value("--date", "2026/01/01");

  std::string why = TagValueProblem(project, kMaxShown);
  if (!why.empty()) return Refuse("--project " + project + ": " + why);
  if (version.compare(0, 2, kVersionPrefix) != 0) {
    return Refuse("--version " + version + ": does not start with \"1.\" (tarnwick shows what follows \"1.\")");
  }
  why = TagValueProblem(version.substr(2), kMaxShown);
  if (!why.empty() && version.size() > 2) return Refuse("--version " + version + ": after \"1.\": " + why);
  why = TagValueProblem(date, kMaxShown);
  if (!why.empty()) return Refuse("--date " + date + ": " + why);

  size_t size = 3 * 65536;
  if (given.count("--size") != 0 && !ParseSize(given["--size"], &size, &why)) {
    return Refuse("--size " + given["--size"] + ": " + why);
  }
  const size_t needed = sim::kSampleDateOffset + std::strlen("DATE:") + date.size() + 1;
  if (size < needed) {
    return Refuse("--size " + given["--size"] + ": too small for the tags (at least " + std::to_string(needed) +
                  " bytes)");
  }
  uint32_t seed = 1;
  if (given.count("--seed") != 0 && !ParseSeed(given["--seed"], &seed)) {
    return Refuse("--seed " + given["--seed"] + ": not a number from 0 to 4294967295");
  }

  struct stat existing;
  if (!force && lstat(out.c_str(), &existing) == 0) {
    std::fprintf(stderr, "tarnwick-image: make: %s exists; --force writes over it\n", out.c_str());
    return kExitIo;
  }

  std::vector<uint8_t> image = sim::MakeSampleImage(size, project, version, date, seed);
  const std::string temporary = out + ".tmp-tarnwick-image";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(image.data(), 1, image.size(), file) == image.size();
  int cause = errno;
  if (file != nullptr && std::fclose(file) != 0 && written) {
    written = false;
    cause = errno;
  }
  if (written && !MoveInPlace(temporary, out, force)) {
    written = false;
    cause = errno;
  }
  if (!written) {
    if (file != nullptr) std::remove(temporary.c_str());
    if (cause == EEXIST) {
      std::fprintf(stderr, "tarnwick-image: make: %s exists; --force writes over it\n", out.c_str());
    } else {
      std::fprintf(stderr, "tarnwick-image: make: cannot write %s: %s\n", out.c_str(), std::strerror(cause));
    }
    return kExitIo;
  }
  if (size > kMaxFlashSize) {
    std::fprintf(stderr, "tarnwick-image: make: note: %s is larger than 256 KB; tarnwick refuses it\n", out.c_str());
  }
  return kExitOk;
}

}  // namespace image_tool
