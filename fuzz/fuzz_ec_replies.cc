// The EC's replies and faults through erase-only runs (the whole flash, or one
// sector): short runs, so the EC's side is explored fast.
#include "fuzz/ec_reply_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunEcReplyInput(data, size, EcReplyJobs::Erases);
  return 0;
}
