// tarnwick-image verify: does a /r dump hold the image as tarnwick writes
// it? The image's bytes, with the autoload value bytes as any autoload
// setting leaves them, then the erased flash (all 0xFF) to the dump's end.
// Exit 0 yes, 1 no, 2 trouble, like compare.
#include <algorithm>
#include <cstdio>

#include "flash/flash_mode.h"
#include "image/autoload.h"
#include "tools/tarnwick_image.h"

namespace image_tool {

namespace {

constexpr int kVerified = 0, kNotVerified = 1, kTrouble = 2;
constexpr size_t kBlock = 65536;
// What a run with /g leaves as it was (the G-sensor data).
constexpr size_t kKeptByG = kKeepReservedLength;

struct Counts {
  size_t ImageDiffer = 0;  // image bytes the dump holds otherwise
  size_t TailNotFF = 0;    // bytes after the image that are not 0xFF
  size_t Missing = 0;      // image bytes beyond the dump's end
};

class Verifier {
 public:
  Verifier(const std::vector<uint8_t>& dump, const std::vector<uint8_t>& image) : dump_(dump), image_(image) {
    hasAutoload_ = FindAutoload(image, &autoload_);
    // The dump may hold the image's own value bytes or those of any setting.
    if (hasAutoload_ && autoload_ + kAutoloadSecondByte < dump.size()) {
      const uint8_t first = dump[autoload_ + kAutoloadFirstByte], second = dump[autoload_ + kAutoloadSecondByte];
      setting_ = AutoloadSetting(first, second);
      autoloadAccepted_ = setting_ != nullptr || (first == image[autoload_ + kAutoloadFirstByte] &&
                                                  second == image[autoload_ + kAutoloadSecondByte]);
    }
  }

  size_t End() const { return std::max(dump_.size(), image_.size()); }

  // True when the byte at offset is as tarnwick leaves it.
  bool Good(size_t offset) const {
    if (offset >= dump_.size()) return false;
    if (offset >= image_.size()) return dump_[offset] == 0xFF;
    if (autoloadAccepted_ && (offset == autoload_ + kAutoloadFirstByte || offset == autoload_ + kAutoloadSecondByte)) {
      return true;
    }
    return dump_[offset] == image_[offset];
  }

  Counts Count(size_t from, size_t to) const {
    Counts counts;
    for (size_t i = from; i < to; i++) {
      if (Good(i)) continue;
      if (i >= dump_.size()) {
        counts.Missing++;
      } else if (i >= image_.size()) {
        counts.TailNotFF++;
      } else {
        counts.ImageDiffer++;
      }
    }
    return counts;
  }

  std::string BlockLine(size_t start) const {
    const size_t end = std::min(start + kBlock, End());
    const Counts counts = Count(start, end);
    char text[128];
    std::snprintf(text, sizeof(text), "block %zu (0x%06zX-0x%06zX): ", start / kBlock, start, end - 1);
    std::string line = text;
    std::vector<std::string> parts;
    if (start < std::min(image_.size(), dump_.size())) {
      if (counts.ImageDiffer == 0) {
        parts.push_back("as the image");
      } else {
        std::snprintf(text, sizeof(text), "differs from the image (%zu bytes)", counts.ImageDiffer);
        parts.push_back(text);
      }
    }
    if (end > image_.size() && std::min(end, dump_.size()) > std::max(start, image_.size())) {
      if (counts.TailNotFF == 0) {
        parts.push_back("all 0xFF beyond the image");
      } else {
        std::snprintf(text, sizeof(text), "%zu bytes beyond the image not 0xFF", counts.TailNotFF);
        parts.push_back(text);
      }
    }
    if (end > dump_.size()) {
      std::snprintf(text, sizeof(text), "the dump ends at 0x%06zX", std::max(start, dump_.size()));
      parts.push_back(text);
    }
    for (size_t i = 0; i < parts.size(); i++) line += (i == 0 ? "" : "; then ") + parts[i];
    return line;
  }

  std::string AutoloadLine() const {
    char text[160];
    if (!hasAutoload_) return "autoload:  no signature in the image (no autoload option changes it)";
    if (autoload_ + kAutoloadSecondByte >= dump_.size()) return "autoload:  the signature lies beyond the dump's end";
    const uint8_t first = dump_[autoload_ + kAutoloadFirstByte], second = dump_[autoload_ + kAutoloadSecondByte];
    const bool asImage = first == image_[autoload_ + kAutoloadFirstByte] &&
                         second == image_[autoload_ + kAutoloadSecondByte];
    std::snprintf(text, sizeof(text),
                  "autoload:  signature at 0x%06zX, the dump's value bytes 0x%02X (+2) 0x%02X (+8): %s%s", autoload_,
                  first, second, setting_ != nullptr ? setting_ : "no autoload setting writes these",
                  asImage ? " (as the image)" : "");
    return text;
  }

 private:
  const std::vector<uint8_t>& dump_;
  const std::vector<uint8_t>& image_;
  bool hasAutoload_ = false;
  size_t autoload_ = 0;
  const char* setting_ = nullptr;
  bool autoloadAccepted_ = false;
};

// Why tarnwick would flash nothing from the image, or nullptr.
const char* Unflashable(const std::vector<uint8_t>& image) {
  if (image.empty()) return "is empty: tarnwick flashes nothing from it";
  if (image.size() > kMaxFlashSize) return "is larger than 256 KB: tarnwick refuses it";
  return nullptr;
}

}  // namespace

int RunVerify(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[0].compare(0, 1, "-") == 0 || args[1].compare(0, 1, "-") == 0) {
    std::fputs("tarnwick-image: verify takes two files: verify DUMP IMAGE\n", stderr);
    return kTrouble;
  }
  const std::string& dumpName = args[0];
  const std::string& imageName = args[1];
  std::vector<uint8_t> dump, image;
  std::string error;
  if (!ReadWholeFile(dumpName, &dump, &error) || !ReadWholeFile(imageName, &image, &error)) {
    std::fprintf(stderr, "tarnwick-image: cannot read %s\n", error.c_str());
    return kTrouble;
  }
  if (const char* why = Unflashable(image)) {
    std::fprintf(stderr, "tarnwick-image: verify: IMAGE %s %s\n", imageName.c_str(), why);
    return kTrouble;
  }
  const Verifier verifier(dump, image);
  const Counts counts = verifier.Count(0, verifier.End());
  const bool verified = counts.ImageDiffer == 0 && counts.TailNotFF == 0 && counts.Missing == 0;
  size_t first = 0;
  while (first < verifier.End() && verifier.Good(first)) first++;
  if (verified) {
    std::printf("verified: %s holds %s as tarnwick writes it\n", dumpName.c_str(), imageName.c_str());
  } else {
    std::printf("NOT verified: %s does not hold %s as tarnwick writes it\n", dumpName.c_str(), imageName.c_str());
    if (first >= dump.size()) {
      std::printf("first difference at 0x%06zX: the dump ends there, the image holds 0x%02X\n", first, image[first]);
    } else if (first < image.size()) {
      std::printf("first difference at 0x%06zX: the dump holds 0x%02X, the image 0x%02X\n", first, dump[first],
                  image[first]);
    } else {
      std::printf("first difference at 0x%06zX: the dump holds 0x%02X beyond the image, not 0xFF\n", first,
                  dump[first]);
    }
    std::printf("differing bytes: %zu\n", counts.ImageDiffer + counts.TailNotFF + counts.Missing);
  }
  std::printf("sizes:     dump %zu bytes, image %zu bytes\n", dump.size(), image.size());
  std::printf("%s\n", verifier.AutoloadLine().c_str());
  for (size_t start = 0; start < verifier.End(); start += kBlock) {
    std::printf("%s\n", verifier.BlockLine(start).c_str());
  }
  if (dump.size() % kBlock != 0 || dump.size() < image.size()) {
    std::printf("note: a /r dump is the whole flash in 64 KB blocks; is the order DUMP IMAGE?\n");
  }
  if (!verified && counts.Missing == 0 && first >= kKeptByG) {
    std::printf("note: every difference lies from 0x%06zX on, the part a run with /g keeps (the G-sensor data)\n",
                kKeptByG);
  }
  return verified ? kVerified : kNotVerified;
}

}  // namespace image_tool
