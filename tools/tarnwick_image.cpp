// tarnwick-image: see and compare EC ROM images offline, and make sample
// ones. `tarnwick-image --help` lists the subcommands and exit statuses.
#include "tools/tarnwick_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/version.h"

namespace image_tool {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->clear();
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0) {
    *error = path + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    *error = path + ": is a directory";
    close(fd);
    return false;
  }
  uint8_t chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof(chunk));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = path + ": " + std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  close(fd);
  return true;
}

}  // namespace image_tool

namespace {

constexpr char kHelp[] =
    R"(tarnwick-image: looks at, verifies, compares and makes EC ROM images without flashing.

usage:
  tarnwick-image info FILE
      The size, the 64 KB block span, the identity lines exactly as tarnwick prints them for FILE
      (project, version, build date and checksum), the autoload signature's offset and value bytes,
      and a warning for whatever tarnwick would refuse or show oddly.
  tarnwick-image verify DUMP IMAGE
      Whether a /r dump holds IMAGE as tarnwick writes it: the image's bytes, the autoload value
      bytes as any autoload option (/ad, /an, /af) or none leaves them, and all 0xFF after the
      image to the dump's end. Shows the first differing offset with both byte values, the number
      of differing bytes and one line per 64 KB block.
  tarnwick-image compare A B
      Compares two files byte for byte: the first differing offset with both byte values, the number
      of differing bytes and one line per 64 KB block (equal, differs, or beyond the shorter file:
      all 0xFF or not).
  tarnwick-image make OUT [--force] [--size N] [--project P] [--version V] [--date D] [--seed S]
      Writes a sample image: pseudo-random bytes with the tags PRJ:P$ at 0x80, VER:V$ at 0xA0,
      DATE:D$ at 0xC0 and an autoload signature (on) at 0x40. N: bytes, or with K (192K), from the
      end of the tags up to 1024K (default 192K); P: 1..16 printable characters (default TESTPRJ);
      V: "1." and up to 16 more (default 1.00.00); D: up to 16 (default 2026/01/01); none holds a '$'
      or a tag keyword. S: 0..4294967295 (default 1). The same arguments give the same bytes.
      An existing OUT is left alone unless --force is given.
  tarnwick-image --help | --version

exit status:
  info, make:  0 done, 64 a bad command line or argument, 74 a file that cannot be read or written,
               or an OUT that exists (make writes nothing when it refuses)
  verify:      0 the dump holds the image, 1 it does not, 2 trouble (a file that cannot be read, a
               bad command line, an IMAGE tarnwick would not flash: empty or larger than 256 KB)
  compare:     0 the files are equal, 1 they differ, 2 trouble (a file that cannot be read, a bad
               command line), like cmp
)";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? "" : args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("tarnwick-image %s\n", TarnwickVersion());
    return 0;
  }
  std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
  if (command == "info") return image_tool::RunInfo(rest);
  if (command == "compare") return image_tool::RunCompare(rest);
  if (command == "verify") return image_tool::RunVerify(rest);
  if (command == "make") return image_tool::RunMake(rest);
  if (command.empty()) {
    std::fputs("tarnwick-image: no subcommand (info, verify, compare or make); --help lists them\n", stderr);
  } else {
    std::fprintf(stderr, "tarnwick-image: unknown subcommand %s (info, verify, compare or make); --help lists them\n",
                 command.c_str());
  }
  return image_tool::kExitUsage;
}
