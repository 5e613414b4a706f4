#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/machine.h"
#include "sim/sample_image.h"

namespace fuzz {

std::vector<uint8_t> InputReader::Bytes(size_t n) {
  std::vector<uint8_t> out;
  while (n-- > 0 && pos_ < size_) out.push_back(data_[pos_++]);
  return out;
}

std::vector<uint8_t> InputReader::Rest() {
  std::vector<uint8_t> out(data_ + pos_, data_ + size_);
  pos_ = size_;
  return out;
}

namespace {

struct Scratch {
  std::string Path;
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-fuzz-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (mkdtemp(buffer.data()) == nullptr) Broken("cannot make the scratch volume");
    Path = buffer.data();
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
};

}  // namespace

const std::string& ScratchVolume() {
  static Scratch scratch;
  return scratch.Path;
}

void ClearScratchVolume() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(ScratchVolume(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "BROKEN: %s %s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

void CheckAuditClean(const char* where) {
  sim::Audit audit = sim::TakeAudit();
  if (!audit.Clean()) Broken(where, audit.Details.empty() ? std::string("audit") : audit.Details[0]);
}

void ReleaseMachine() {
  sim::TheMachine() = sim::Machine{};
}

std::vector<uint8_t> SeedImage(size_t size, const std::string& project) {
  return sim::MakeSampleImage(size, project, "1.19.02.03", "2026/12/07", 1);
}

}  // namespace fuzz
