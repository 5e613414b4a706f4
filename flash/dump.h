// Saving the whole EC flash to a dated file.
#pragma once

enum class DumpOutcome : unsigned char {
  Saved,       // every byte answered, ECRom<MMDDhhmm>.bin written
  NotSaved,    // a file or memory failure, reported on the console
  Incomplete,  // the EC missed a handshake: kept as ECRom<MMDDhhmm>.bad, never as .bin
};

[[nodiscard]] DumpOutcome DumpEcRom();
