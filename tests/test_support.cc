#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/main_sequence.h"
#include "sim/sample_image.h"

namespace testing_support {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  char* made = mkdtemp(buffer.data());
  path_ = made != nullptr ? made : pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& relative, const std::string& bytes) const {
  std::filesystem::path p = std::filesystem::path(path_) / relative;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempDir::Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
  Write(relative, std::string(bytes.begin(), bytes.end()));
}

std::string TempDir::Read(const std::string& relative) const {
  std::ifstream in(std::filesystem::path(path_) / relative, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TempDir::Exists(const std::string& relative) const {
  return std::filesystem::exists(std::filesystem::path(path_) / relative);
}

void TempDir::MakeDir(const std::string& relative) const {
  std::filesystem::create_directories(std::filesystem::path(path_) / relative);
}

ArgVector::ArgVector(const std::vector<std::u16string>& args) {
  storage_.push_back(u"tarnwick");
  storage_.insert(storage_.end(), args.begin(), args.end());
  for (std::u16string& s : storage_) pointers_.push_back(s.data());
  pointers_.push_back(nullptr);
}

int RunMain(const sim::MachineConfig& config) {
  sim::Boot(config);
  static ArgVector* args = nullptr;  // must outlive the run for the checks that follow
  delete args;
  args = new ArgVector(config.Args);
  return FlashAppMain(args->Argc(), args->Argv());
}

std::string BuildDir() {
  std::array<char, 4096> path{};
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  const std::string self(path.data(), n > 0 ? static_cast<size_t>(n) : 0);
  return self.substr(0, self.rfind('/'));
}

ToolRun RunTool(const std::string& arguments, const TempDir& scratch, const std::string& redirect) {
  std::string tail = std::regex_replace(redirect, std::regex("OUT"), scratch.File("out.txt"));
  tail = std::regex_replace(tail, std::regex("ERR"), scratch.File("err.txt"));
  const int raw = std::system((BuildDir() + "/" + arguments + tail + " </dev/null").c_str());
  return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, scratch.Read("out.txt"), scratch.Read("err.txt")};
}

std::vector<uint8_t> SampleImage(size_t size, const std::string& project, const std::string& version,
                                 uint32_t seed) {
  return sim::MakeSampleImage(size, project, version, "2026/12/01", seed);
}

const std::vector<uint8_t>& OneBlockImage() {
  static const std::vector<uint8_t> image = SampleImage(65536);
  return image;
}

const std::vector<uint8_t>& OneBlockOldFlash() {
  static const std::vector<uint8_t> old = SampleImage(65536, "TESTPRJ", "1.19.01.00", 99);
  return old;
}

std::string GoldenFile(const std::string& name) {
  std::ifstream in(std::string(TARNWICK_SOURCE_DIR) + "/tests/golden/" + name, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read the golden file " << name;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t CountOf(const std::string& haystack, const std::string& needle) {
  if (needle.empty()) return 0;
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size())) n++;
  return n;
}

}  // namespace testing_support
