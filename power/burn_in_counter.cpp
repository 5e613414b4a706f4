// Counts the runs of the burn-in loop in \EFI\BOOT\FlashTimes.TXT.
//
// The file holds the count as ASCII digits, leading zeros kept. Each run adds
// one and writes the digits back from position 0 at the same width, one digit
// wider on a carry, so the new text always covers the old one. A file the
// counter cannot handle within its 10-byte buffer (too long, not all digits,
// or ten nines) is left as it is and the run count stays 0.
#include "platform/first_volume.h"
#include "platform/format.h"
#include "platform/platform.h"
#include "power/burn_in.h"

uint64_t gBurnInRunCount;

namespace {

constexpr size_t kCounterDigits = 10;

// The file's size from its information record; false when it cannot be had.
bool QueryFileSize(FsFile* file, uint64_t* size) {
  size_t recordSize = 0;
  if (FsGetInfo(file, &recordSize, nullptr) != kEfiBufferTooSmall || recordSize < kFileInfoFixedSize) return false;
  FileInfo* info = static_cast<FileInfo*>(PoolAllocate(recordSize));
  if (info == nullptr) return false;
  const bool ok = !EfiIsError(FsGetInfo(file, &recordSize, info));
  if (ok) *size = info->FileSize;
  PoolFree(info);
  return ok;
}

// Parses the digits; false when a byte is not a digit or the count, plus
// one, would need more digits than the buffer holds.
bool ParseCount(const uint8_t* digits, size_t length, uint64_t* count) {
  uint64_t value = 0;
  bool allNines = length > 0;
  for (size_t i = 0; i < length; i++) {
    if (digits[i] < '0' || digits[i] > '9') return false;
    if (digits[i] != '9') allNines = false;
    value = value * 10 + static_cast<uint64_t>(digits[i] - '0');
  }
  if (allNines && length == kCounterDigits) return false;
  *count = value;
  return true;
}

// Writes count into digits at width length, padded with zeros, or one digit
// wider when the count no longer fits. Returns the new width.
size_t FormatCount(uint8_t* digits, size_t length, uint64_t count) {
  uint64_t limit = 1;
  for (size_t i = 0; i < length; i++) limit *= 10;
  size_t width = length;
  size_t start = 0;
  if (count >= limit) {  // a carry out of the top digit: 9 -> 10, 0999 -> 1000 stays four
    digits[0] = '1';
    start = 1;
    width = length + 1;
    count -= limit;
  }
  for (size_t i = width; i > start; i--) {
    digits[i - 1] = static_cast<uint8_t>('0' + count % 10);
    count /= 10;
  }
  return width;
}

// Reads, bumps and rewrites the open counter file. Leaves it untouched and
// the run count at 0 unless every step before the rewrite succeeds.
void BumpOpenCounter(FsFile* file) {
  uint64_t fileSize = 0;
  if (!QueryFileSize(file, &fileSize) || fileSize > kCounterDigits) return;

  uint8_t* digits = static_cast<uint8_t*>(PoolAllocate(kCounterDigits));
  if (digits == nullptr) return;
  size_t length = static_cast<size_t>(fileSize);
  const size_t asked = length;
  uint64_t count = 0;
  // A short read would leave old digits behind the rewritten ones.
  if (!EfiIsError(FsRead(file, &length, digits)) && length == asked && ParseCount(digits, length, &count)) {
    count++;
    gBurnInRunCount = count;
    size_t width = FormatCount(digits, length, count);
    // The count is only shown: a failed rewrite leaves the old digits.
    (void)FsSetPosition(file, 0);
    (void)FsWrite(file, &width, digits);
  }
  PoolFree(digits);
}

}  // namespace

void BumpBurnInCounter() {
  FsFile* root = FsOpenFirstVolumeRoot();
  if (root == nullptr) return;
  FsFile* file = nullptr;
  if (EfiIsError(FsOpen(root, &file, kBurnInCounterPath, kFileModeReadWrite, 0))) {
    Print(u"Can't create file: %s, (Err. No. :%d)\n", kBurnInCounterPath, kFileJobErrorNumber);
  } else {
    BumpOpenCounter(file);
    (void)FsClose(file);  // the run goes on whatever the counter did
  }
  (void)FsClose(root);
}
