// Writes the seed corpus: corpus/<fuzzer>/<name> for each fuzzer, in the
// input layouts that the fuzzers' own comments describe.
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Arguments joined by NUL bytes, after the set-up byte.
Bytes CommandLine(uint8_t setup, std::initializer_list<const char*> args) {
  Bytes out{setup};
  bool first = true;
  for (const char* a : args) {
    if (!first) out.push_back(0);
    first = false;
    for (const char* p = a; *p; p++) out.push_back(static_cast<uint8_t>(*p));
  }
  return out;
}

// A length byte and that many bytes.
Bytes Counted(const Bytes& b) { return Join({Bytes{static_cast<uint8_t>(b.size())}, b}); }

// The job byte, then the EC's settings in the order of fuzz/ec_reply_run.cc.
Bytes EcReplies(uint8_t job, uint8_t flags, uint8_t mode, uint8_t sizeReply, uint8_t timing, const std::string& project,
                const Bytes& id, const Bytes& completion, uint8_t staleBefore, const Bytes& stale) {
  return Join({Bytes{job, flags, mode, sizeReply, timing}, Counted(Text(project)), Counted(Text("01.00$")), Counted(id),
               Counted(completion), Bytes{staleBefore}, Counted(stale)});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <corpus directory>\n");
    return 2;
  }
  const std::string root = argv[1];
  int n = 0;
  auto seed = [&](const std::string& fuzzer, const Bytes& bytes) {
    fuzz::WriteFile(root + "/" + fuzzer + "/seed" + std::to_string(n++), bytes);
  };

  const char* cl = "fuzz_command_line";
  seed(cl, CommandLine(0, {"EC.BIN", "/p"}));
  seed(cl, CommandLine(1, {"EC.BIN", "/r"}));
  seed(cl, CommandLine(0x41, {"EC.BIN", "/f8", "/r"}));
  seed(cl, CommandLine(1, {"A.BIN", "/bi", "B.BIN"}));
  seed(cl, CommandLine(0, {"EC.BIN", "/br", "/k", "/c5", "/v"}));
  seed(cl, CommandLine(8, {"EC.BIN", "/e12"}));
  seed(cl, CommandLine(0, {"EC.BIN", "/ah"}));
  seed(cl, CommandLine(2, {"EC.BIN", "/o2", "/f4", "/w3", "/l", "/g", "/ad"}));
  seed(cl, CommandLine(4, {"EFI\\BOOT\\FlashTimes.TXT", "/y", "/p"}));

  const char* im = "fuzz_image_bytes";
  Bytes name = Text("TESTPRJ$");
  name.resize(16, 0);
  seed(im, Join({Bytes{2, 3, 0}, name, fuzz::SeedImage(1024, "TESTPRJ")}));
  seed(im, Join({Bytes{1, 1, 2}, name, fuzz::SeedImage(512, "OTHER")}));
  seed(im, Join({Bytes{3, 4, 1}, name, Text("PRJ:TESTPRJ$VER:1.19$DATE:2026$\xA5\xA5\x01\x02\x03\x5A\x04\x05\x06")}));
  seed(im, Join({Bytes{2, 2, 0}, name, Text("\xA5\xA5\x01\x02\x03\x5A\x04\x05")}));
  seed(im, Join({Bytes{0, 1, 0}, name, Text("VER:1")}));

  const char* co = "fuzz_burn_in_counter";
  for (const char* s : {"0", "9", "41", "007", "0999", "9999", "9999999999", "999999999", "", "12\r\n", "01234567890"})
    seed(co, Text(s));

  const char* er = "fuzz_ec_replies";  // erases: job 3 the whole flash, 0 one sector
  const char* eu = "fuzz_ec_update";
  const Bytes id{0xEF, 0x40, 0x13, 0x00};
  seed(eu, Bytes{0});     // an update against an EC that behaves well
  seed(er, Bytes{0});     // a sector erase, the same
  seed(er, Bytes{3, 6});  // the whole 256K flash erased
  seed(eu, EcReplies(0, 0, 0, 0x40, 0, "TESTPRJ$", id, {0xF8}, 0, {}));
  seed(eu, EcReplies(0, 1 | (1 << 1), 0x5A, 0x20, 0, "TESTPRJ$", id, {0xF8}, 0, {}));
  seed(er, EcReplies(3, 3 << 1, 0, 0x80, 0x41, "TESTPRJ$", id, {0x01, 0x02, 0xF8}, 0, {}));
  seed(eu, EcReplies(0x40, 0x10 | 8 | (2 << 1), 0x00, 0x40, 0x80, "ABCDEFGHIJKLMNOPQRS", id, {}, 0xF0, {0x5A}));
  seed(eu, EcReplies(0x08, 1 | 8 | (3 << 1), 0x01, 0x80, 0x07, "OTHER$", id, {0xF8}, 0x92, {0x41, 0x42}));
  seed(er, EcReplies(1, 1, 0xFF, 0, 0x18, "X$", {0xEF}, {0xF8}, 0x04, {0x00}));
  seed(eu, Join({EcReplies(0, 2, 0, 0x40, 0, "TESTPRJ$", id, {0xF8}, 0, {}), Bytes{1, 0x01, 0x23}}));
  seed(er, Join({EcReplies(3, 2, 0, 0x40, 0, "TESTPRJ$", id, {0xF8}, 0, {}), Bytes{1, 0x01, 0x23}}));
  std::printf("%d seeds written to %s\n", n, root.c_str());
  return 0;
}
