// The EC's replies and faults through whole updates: erase, blank check,
// programming and verify of whole 64 KB blocks.
#include "fuzz/ec_reply_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunEcReplyInput(data, size, EcReplyJobs::Updates);
  return 0;
}
