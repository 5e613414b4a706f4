// The main sequence: orders the whole job from start to finish.
#pragma once

#include "platform/platform.h"

// Exit codes of FlashAppMain.
constexpr int kExitOk = 0;              // normal end (also: a failed load is reported as 4, see below)
constexpr int kExitRejected = 1;        // options rejected, dump ran, burn-in set-up returned
constexpr int kExitNoAdapter = 2;       // no AC adapter
constexpr int kExitUpdateFailed = 3;    // five passes without a verified flash
constexpr int kExitLoadFailed = 4;      // the image could not be loaded
constexpr int kExitNoImage = 5;         // no image bytes, or an image larger than the flash can hold
constexpr int kExitDeclined = 6;        // the user declined a project mismatch

int FlashAppMain(size_t argc, Char16** argv);
