// Image bytes through the identity lines, the project check and the autoload
// patch, as the main sequence calls them on a loaded image.
//
// Input: the autoload mode byte, the block count byte, a byte whose low bit
// forces the update (/y) and whose bit 1 picks the answer key ('Y' or 'n'),
// the EC's 16-byte project buffer, then the image. The image is copied into
// an allocation of exactly its size, so any read or write past it is caught.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/autoload.h"
#include "image/identity.h"
#include "sim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader in(data, size);
  const AutoloadMode autoload = static_cast<AutoloadMode>(in.Byte() & 0x03);
  const int8_t blockCount = static_cast<int8_t>(in.Byte());
  const uint8_t flags = in.Byte();
  const bool forceUpdate = (flags & 1) != 0;
  uint8_t ecName[kNameBufferSize];
  std::vector<uint8_t> name = in.Bytes(kNameBufferSize);
  std::memset(ecName, 0, sizeof(ecName));
  if (!name.empty()) std::memcpy(ecName, name.data(), name.size());
  std::vector<uint8_t> rest = in.Rest();

  std::unique_ptr<uint8_t[]> bytes(new uint8_t[rest.size() == 0 ? 1 : rest.size()]);
  if (!rest.empty()) std::memcpy(bytes.get(), rest.data(), rest.size());
  ImageBuffer image{rest.empty() ? nullptr : bytes.get(), rest.size()};
  std::vector<uint8_t> before(rest);

  sim::MachineConfig config;
  config.TraceEnabled = false;
  config.Keys = {InputKey{0, static_cast<Char16>((flags & 2) ? u'Y' : u'n')}};
  sim::Boot(config);

  uint8_t imageProject[kNameBufferSize];
  uint8_t imageVersion[kNameBufferSize];
  ShowImageProject(imageProject, image);
  ShowImageVersion(imageVersion, image);
  const bool goOn = CheckImageProject(ecName, imageProject, forceUpdate);
  if (forceUpdate && !goOn) fuzz::Broken("/y declined");
  if (sim::TheMachine().KeyWaits > 1) fuzz::Broken("more than one key wait");
  PatchAutoload(image, autoload, blockCount);

  // The patch changes at most the two setting bytes of one signature block.
  size_t changed = 0;
  for (size_t i = 0; i < rest.size(); i++) changed += bytes[i] != before[i];
  if (changed > 2) fuzz::Broken("autoload patch changed more than two bytes");
  if (autoload == AutoloadMode::None && changed != 0) fuzz::Broken("image changed without an autoload option");
  fuzz::CheckAuditClean("image identity");
  return 0;
}
