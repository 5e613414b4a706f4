// Shared helpers for tests that run the program on the simulated machine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/machine.h"

namespace testing_support {

// A temporary host directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& relative) const { return path_ + "/" + relative; }
  void Write(const std::string& relative, const std::string& bytes) const;
  void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  void MakeDir(const std::string& relative) const;

 private:
  std::string path_;
};

// Argv for FlashAppMain: "tarnwick" followed by args, kept alive by the object.
class ArgVector {
 public:
  explicit ArgVector(const std::vector<std::u16string>& args);
  size_t Argc() const { return storage_.size(); }
  Char16** Argv() { return pointers_.data(); }

 private:
  std::vector<std::u16string> storage_;
  std::vector<Char16*> pointers_;
};

// Boots the machine and runs FlashAppMain with "tarnwick" + config.Args.
int RunMain(const sim::MachineConfig& config);

// An image of size bytes with tags and an autoload signature.
std::vector<uint8_t> SampleImage(size_t size, const std::string& project = "TESTPRJ",
                                 const std::string& version = "1.19.02.03", uint32_t seed = 1);

// One 64 KB block: the image a run flashes, and the older image of the same
// project that the flash holds before it.
const std::vector<uint8_t>& OneBlockImage();
const std::vector<uint8_t>& OneBlockOldFlash();

// The folder of the running test binary, where the simulator's programs are built.
std::string BuildDir();

// What a program of the build folder printed and how it ended.
struct ToolRun {
  int Status = -1;  // the exit status; -1 when it did not exit
  std::string Out, Err;
};

// Runs a program of the build folder with arguments through the shell (shell
// syntax). redirect says where stdout and stderr go: OUT and ERR stand for
// the scratch files that Out and Err are read from. stdin is no terminal,
// so no run waits for a key typed there.
ToolRun RunTool(const std::string& arguments, const TempDir& scratch,
                const std::string& redirect = " >OUT 2>ERR");

// The bytes of tests/golden/NAME: exact texts that the real-shell tests read too.
std::string GoldenFile(const std::string& name);

// Counts how often needle occurs in haystack.
size_t CountOf(const std::string& haystack, const std::string& needle);

}  // namespace testing_support
