// The release kit's scripts and the install: what package.sh refuses before
// it writes anything, the scripts' usage, and what cmake --install lays out.
// (tests/reproducible_kit.sh makes whole kits.)
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::BuildDir;
using testing_support::TempDir;
using testing_support::ToolRun;

// Runs a command line in scratch (shell syntax), stdin no terminal.
ToolRun RunIn(const TempDir& scratch, const std::string& command) {
  const std::string line = "cd " + scratch.Path() + " && " + command + " >" + scratch.File("out.txt") + " 2>" +
                           scratch.File("err.txt") + " </dev/null";
  const int raw = std::system(line.c_str());
  return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, scratch.Read("out.txt"), scratch.Read("err.txt")};
}

std::string Script(const std::string& name) { return "bash " TARNWICK_SOURCE_DIR "/scripts/" + name; }

// Every file under dir with its size and time: what a refusal must leave.
std::string Listing(const fs::path& dir) {
  std::string out;
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    out += it->path().string() + " " + std::to_string(it->is_regular_file() ? it->file_size() : 0) + " " +
           std::to_string(it->last_write_time().time_since_epoch().count()) + "\n";
  }
  return out;
}

TEST(ReleaseKit, ScriptsPrintTheirUsage) {
  for (const char* name : {"build.sh", "package.sh", "qemu.sh"}) {
    TempDir scratch;
    ToolRun run = RunIn(scratch, Script(name) + " --help");
    EXPECT_EQ(run.Status, 0) << name << run.Err;
    EXPECT_NE(run.Out.find(std::string("scripts/") + name), std::string::npos) << name << "\n" << run.Out;
  }
}

TEST(ReleaseKit, PackageRefusesBeforeWritingAnything) {
  TempDir scratch;
  ASSERT_EQ(RunIn(scratch, BuildDir() + "/tarnwick-image make EC.BIN").Status, 0);
  scratch.MakeDir("p1");
  scratch.MakeDir("p2");
  scratch.MakeDir("folder.bin");
  scratch.Write("p1/EC.BIN", scratch.Read("EC.BIN"));
  scratch.Write("p2/EC.BIN", scratch.Read("EC.BIN"));
  scratch.Write("ec.bin", scratch.Read("EC.BIN"));
  scratch.Write("empty.bin", "");
  scratch.Write("big.bin", std::string(262145, '\xFF'));
  scratch.Write("a:b.bin", scratch.Read("EC.BIN"));
  scratch.Write("shell.txt", "not a shell");
  struct Case {
    std::string Arguments;
    int Status;
    std::string Message;
  } cases[] = {
      {"missing.bin", 74, "IMAGE missing.bin: no such file"},
      {"folder.bin", 64, "IMAGE folder.bin: a folder, not a file"},
      {"empty.bin", 64, "IMAGE empty.bin: empty"},
      {"big.bin", 64, "IMAGE big.bin: 262145 bytes, over 256 KB"},
      {"p1/EC.BIN p2/EC.BIN", 64, "IMAGE p2/EC.BIN and p1/EC.BIN land on one FAT name \\EC\\EC.BIN"},
      {"EC.BIN ec.bin", 64, "IMAGE ec.bin and EC.BIN land on one FAT name"},
      {"a:b.bin", 64, "IMAGE a:b.bin: the name a:b.bin is no FAT file name"},
      {"--shell shell.txt EC.BIN", 64, "--shell shell.txt: no MZ header"},
      {"--shell none.efi EC.BIN", 74, "--shell none.efi: no such file"},
      {"--colour EC.BIN", 64, "unknown option --colour"},
  };
  const fs::path dist = fs::path(TARNWICK_SOURCE_DIR) / "dist";
  const std::string before = Listing(dist);
  for (const Case& c : cases) {
    ToolRun run = RunIn(scratch, Script("package.sh") + " " + c.Arguments);
    EXPECT_EQ(run.Status, c.Status) << c.Arguments << "\n" << run.Err << run.Out;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << c.Arguments << "\n" << run.Err;
  }
  EXPECT_EQ(Listing(dist), before);
}

TEST(ReleaseKit, InstallPutsTheUsersFilesInPlace) {
  TempDir prefix;
  ToolRun run = RunIn(prefix, "cmake --install " + BuildDir() + " --prefix " + prefix.Path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const bool efi = fs::exists(BuildDir() + "/tarnwick.efi");
  struct Case {
    std::string Path;
    bool Present;
  } cases[] = {
      {"bin/tarnwick-sim", true},
      {"bin/tarnwick-image", true},
      {"bin/flash_bench", false},
      {"bin/tarnwick_tests", false},
      {"share/doc/tarnwick/README.md", true},
      {"share/doc/tarnwick/field-guide.md", true},
      {"share/tarnwick/tarnwick.efi", efi},
      {"share/tarnwick/tarnwick-simec.efi", false},
      {"share/tarnwick/simulated-ec-for-qemu/tarnwick-simec.efi", efi},
  };
  for (const Case& c : cases) EXPECT_EQ(prefix.Exists(c.Path), c.Present) << c.Path;
  for (const char* tool : {"bin/tarnwick-sim", "bin/tarnwick-image"}) {
    EXPECT_EQ(RunIn(prefix, std::string("readelf -S ") + tool + " | grep -q symtab").Status, 1)
        << tool << " is not stripped";
  }
}

}  // namespace
