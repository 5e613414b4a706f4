// The main sequence: orders the whole job from start to finish.
#pragma once

#include "platform/platform.h"

// Exit codes of FlashAppMain.
constexpr int kExitOk = 0;              // the update verified, or the erase-only job erased
constexpr int kExitRejected = 1;        // options rejected, dump saved (or a file failure), burn-in set-up returned
constexpr int kExitNoAdapter = 2;       // no AC adapter
constexpr int kExitUpdateFailed = 3;    // the EC job failed: five passes without a verified flash, a failed
                                        // erase-only job, no EC answering flash mode, or an incomplete dump
constexpr int kExitLoadFailed = 4;      // the image could not be loaded
constexpr int kExitNoImage = 5;         // no image bytes, or an image larger than the flash can hold
constexpr int kExitDeclined = 6;        // the user declined a project mismatch

int FlashAppMain(size_t argc, Char16** argv);
