// Helpers shared by the fuzzers: reading structured values from the fuzz
// input, a scratch volume that lives as long as the process, and the check
// that turns a broken promise into a crash libFuzzer records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Takes values from the front of the input; past its end everything is 0.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::vector<uint8_t> Bytes(size_t n);
  std::vector<uint8_t> Rest();
  size_t Left() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A host directory made once per process (removed at exit) for FS0:.
const std::string& ScratchVolume();
// Removes everything inside the scratch volume.
void ClearScratchVolume();
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes);

// Prints what was broken and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Broken(const char* what, const std::string& detail = std::string());
// The audit of the last run must be clean.
void CheckAuditClean(const char* where);
// Gives back what the machine holds of the last run, so that a run frees as
// much as it allocates and libFuzzer does not run it again to look for a leak
// (the program's own pool is audited by CheckAuditClean).
void ReleaseMachine();

// The seed images and the layout of each fuzzer's input, shared with fuzz_seeds.
std::vector<uint8_t> SeedImage(size_t size, const std::string& project);

}  // namespace fuzz
