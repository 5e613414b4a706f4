// tarnwick-image info: what tarnwick would show for an image and what it
// would refuse. The identity lines come from the product's own code running
// on the simulated machine, so they are always what tarnwick prints.
#include <cstdio>
#include <cstring>

#include "ec/board_queries.h"
#include "flash/flash_mode.h"
#include "image/autoload.h"
#include "image/identity.h"
#include "image/image_tags.h"
#include "sim/machine.h"
#include "tools/tarnwick_image.h"

namespace image_tool {

namespace {

// Offset of the value after the first occurrence of keyword (the product's
// own search), or npos.
size_t FindTag(const std::vector<uint8_t>& image, const char* keyword) {
  const ImageBuffer buffer{const_cast<uint8_t*>(image.data()), image.size()};
  uint64_t value = 0;
  if (!FindImageTag(buffer, reinterpret_cast<const uint8_t*>(keyword), std::strlen(keyword), &value)) {
    return std::string::npos;
  }
  return static_cast<size_t>(value);
}

// True when a '$' ends the value at most limit bytes in (tarnwick shows up
// to limit bytes, so a value of exactly limit bytes is still shown whole).
bool EndsWithin(const std::vector<uint8_t>& image, size_t value, size_t limit) {
  for (size_t i = value; i < image.size() && i <= value + limit; i++) {
    if (image[i] == '$') return true;
  }
  return false;
}

std::vector<std::string> Warnings(const std::vector<uint8_t>& image) {
  std::vector<std::string> out;
  if (image.empty()) {
    out.push_back("the file is empty: tarnwick says \"Can't read, Try again, Please\" and flashes nothing");
    return out;
  }
  if (image.size() > kMaxFlashSize) {
    out.push_back("larger than 256 KB: tarnwick refuses it (\"This file is larger than 256K EC ROM, Check it, "
                  "Please.\")");
  }
  const size_t project = FindTag(image, "PRJ:");
  if (project == std::string::npos) {
    out.push_back("no PRJ: tag: tarnwick says \"This file is not EC file, Check it, Please.\" and asks before "
                  "flashing it on any EC");
  } else if (!EndsWithin(image, project, kNameBufferSize)) {
    out.push_back("the project runs past 16 bytes without a '$': tarnwick shows and compares only 16");
  }
  if (FindTag(image, "VER:") == std::string::npos) {
    out.push_back("no VER: tag: tarnwick says \"This file can not get EC version, Check it, Please.\"");
  }
  if (FindTag(image, "DATE:") == std::string::npos) out.push_back("no DATE: tag: the build date shows empty");
  if (FlashBlockSpan(image.size()) == 2) {
    out.push_back("spans 2 blocks: tarnwick sets the ROM size to 128K whatever size the EC reports");
  }
  return out;
}

}  // namespace

std::string IdentityLines(const std::vector<uint8_t>& image) {
  sim::MachineConfig config;
  config.TraceEnabled = false;
  sim::Boot(config);
  std::vector<uint8_t> bytes(image);
  ImageBuffer buffer{bytes.empty() ? nullptr : bytes.data(), bytes.size()};
  uint8_t project[kNameBufferSize];
  uint8_t version[kNameBufferSize];
  ShowImageProject(project, buffer);
  ShowImageVersion(version, buffer);
  std::string text;
  for (char c : sim::TheMachine().Screen.PlainUtf8()) {
    if (c != '\r') text.push_back(c);
  }
  return text;
}

int RunInfo(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].compare(0, 1, "-") == 0) {
    std::fprintf(stderr, "tarnwick-image: info takes one FILE%s%s\n", args.empty() ? "" : ", not ",
                 args.empty() ? "" : (args.size() > 1 ? args[1] : args[0]).c_str());
    return kExitUsage;
  }
  std::vector<uint8_t> image;
  std::string error;
  if (!ReadWholeFile(args[0], &image, &error)) {
    std::fprintf(stderr, "tarnwick-image: cannot read %s\n", error.c_str());
    return kExitIo;
  }
  std::printf("File:        %s\n", args[0].c_str());
  std::printf("Size:        %zu bytes (0x%06zX)\n", image.size(), image.size());
  std::printf("Block span:  %llu (64 KB blocks)\n", static_cast<unsigned long long>(FlashBlockSpan(image.size())));
  if (!image.empty()) std::fputs(IdentityLines(image).c_str(), stdout);
  size_t at = 0;
  if (FindAutoload(image, &at)) {
    const uint8_t first = image[at + kAutoloadFirstByte], second = image[at + kAutoloadSecondByte];
    const char* meaning = AutoloadSetting(first, second);
    if (meaning == nullptr) meaning = "not a known setting";
    std::printf("Autoload:    signature at 0x%06zX, value bytes 0x%02X (+2) 0x%02X (+8): %s\n", at, first, second,
                meaning);
  } else {
    std::printf("Autoload:    no signature (the /a options change nothing)\n");
  }
  for (const std::string& warning : Warnings(image)) std::printf("warning: %s\n", warning.c_str());
  return kExitOk;
}

}  // namespace image_tool
