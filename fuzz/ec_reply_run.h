// One whole run of the tool against an EC whose replies and faults come from
// the fuzzer's input, with the verdict checked (fuzz/ec_reply_run.cc).
#pragma once

#include <cstddef>
#include <cstdint>

enum class EcReplyJobs { Erases, Updates };

void RunEcReplyInput(const uint8_t* data, size_t size, EcReplyJobs jobs);
