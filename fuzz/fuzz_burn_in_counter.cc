// Counter-file contents through BumpBurnInCounter.
//
// The whole input is the file. A file of one to ten digits (not ten nines)
// must come back one higher at the same width (one wider on a carry) and set
// the run count; anything else must be left exactly as it was with a count of 0.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "power/burn_in.h"
#include "sim/machine.h"

namespace {

// The expected file after the bump, or false when it must stay as it is.
bool ExpectedBump(const std::vector<uint8_t>& file, std::vector<uint8_t>* after, uint64_t* count) {
  if (file.size() > 10) return false;
  uint64_t value = 0;
  for (uint8_t b : file) {
    if (b < '0' || b > '9') return false;
    value = value * 10 + (b - '0');
  }
  if (file.size() == 10 && value == 9999999999ull) return false;
  *count = value + 1;
  std::string digits = std::to_string(*count);
  while (digits.size() < file.size()) digits.insert(digits.begin(), '0');
  after->assign(digits.begin(), digits.end());
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  const std::string path = fuzz::ScratchVolume() + "/EFI/BOOT/FlashTimes.TXT";
  fuzz::ClearScratchVolume();
  fuzz::WriteFile(path, file);

  sim::MachineConfig config;
  config.TraceEnabled = false;
  config.Volumes = {fuzz::ScratchVolume()};
  sim::Boot(config);
  gBurnInRunCount = 0;
  BumpBurnInCounter();

  std::vector<uint8_t> now;
  if (!fuzz::ReadFile(path, &now)) fuzz::Broken("counter file gone");
  std::vector<uint8_t> expected;
  uint64_t count = 0;
  if (ExpectedBump(file, &expected, &count)) {
    if (now != expected) fuzz::Broken("counter not bumped right");
    if (gBurnInRunCount != count) fuzz::Broken("run count", std::to_string(gBurnInRunCount));
  } else {
    if (now != file) fuzz::Broken("a counter file it cannot handle was changed");
    if (gBurnInRunCount != 0) fuzz::Broken("run count set from a file it cannot handle");
  }
  fuzz::CheckAuditClean("burn-in counter");
  return 0;
}
