// The simulated EC's settings and fault kinds, one row each (ec_settings.cpp):
// its name, the form and range of its value, its default, its help and how
// it applies to the EC's configuration. Every way of setting up the EC reads
// these rows under the same names:
//   tarnwick-sim          --ec-ports 2, --no-ac, --ec-fault stuck-zero:0x40:0x01
//   tarnwick-simec.efi    \SIMEC\EC.CFG lines "ec-ports = 2", "no-ac", "ec-fault = stuck-zero:0x40:0x01"
//   scripts/qemu.sh       passes tarnwick-sim's options through (tarnwick-sim --print-ec-cfg)
//
// Freestanding, like the EC model: the firmware build reads EC.CFG with it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sim/ec_model.h"

namespace sim {

// Characters that need not end in NUL.
struct EcText {
  const char* Chars;
  size_t Length;
};

// A NUL-ended text as EcText.
EcText EcTextOf(const char* text);

// What the settings make: the EC's configuration, and whether the size
// reply was given (otherwise it follows the flash size once that is known).
struct EcSetup {
  EcConfig Ec;
  bool SizeReplyGiven;
};

// EcConfigDefaults, nothing given yet.
void EcSetupDefaults(EcSetup* setup);

enum class EcValueKind : uint8_t {
  Switch,  // no value
  Number,  // 0..Max: decimal, 0x hexadecimal, 0 octal, an optional K (x 1024)
  Text,    // at most Max characters
  Bytes,   // at most Max hexadecimal bytes, separated by ',' or blanks; none is fine
  Fault,   // one of the fault kinds
};

// A value as read for its row.
struct EcValue {
  uint64_t Number;
  EcText Text;
  uint8_t Bytes[kEcMaxFaultBytes];
  size_t ByteCount;
};

// Why a setting or a fault was refused, as one line of text.
struct EcWhy {
  char Text[160];
  size_t Length;
};

struct EcSettingRow {
  const char* Name;     // "ec-ports": the option --ec-ports, the EC.CFG line "ec-ports = 2"
  EcValueKind Kind;
  const char* Form;     // "N", "TEXT", "BYTES", "FAULT"; nullptr for a switch
  uint64_t Max;         // see EcValueKind
  const char* Default;  // as the help shows it; nullptr: none to show
  const char* Help;
  // Sets what the row stands for from a value already read for its kind;
  // false with *why when the value is refused all the same.
  bool (*Apply)(const EcValue& value, EcSetup* setup, EcWhy* why);
};

// An EC fault: "kind" or "kind:A[:B]", the fields split at every ':'.
struct EcFaultRow {
  const char* Name;  // "stuck-zero"
  const char* Args;  // "ADDR:MASK", one word per field; nullptr: none
  const char* Help;
  bool (*Apply)(const EcText* fields, EcSetup* setup, EcWhy* why);
};

extern const EcSettingRow kEcSettings[];
extern const size_t kEcSettingCount;
extern const EcFaultRow kEcFaults[];
extern const size_t kEcFaultCount;

// The row named name, or nullptr.
const EcSettingRow* EcFindSetting(EcText name);

// Applies one setting. value is nullptr when none was given (a switch may
// also be given an empty one). False with *why naming what was expected.
bool EcApplySetting(const EcSettingRow& row, const EcText* value, EcSetup* setup, EcWhy* why);

// The text of \SIMEC\EC.CFG: one setting per line, "NAME = VALUE", or NAME
// alone for a switch ("no-ac"; "no-ac =" too). Blanks around the name and the
// value are dropped; a line whose first character (after blanks) is '#' is a
// comment. False at the first line refused, with its number (from 1) and why.
bool EcReadConfig(const char* text, size_t length, EcSetup* setup, size_t* badLine, EcWhy* why);

// The sizes a flash can have: 64K, 128K, 192K or 256K.
bool EcFlashSizeValid(uint64_t bytes);
// Once the flash is known: its size is the flash size and, unless given,
// the size reply follows it (EcSizeReplyFor).
void EcSetupFlashSize(EcSetup* setup, uint32_t flashSize);

// The flash of an EC set up without a flash file: 192K holding an older
// image (version 1.00.07) of the EC's project (its reply without the '$', or
// the default one when it answers none).
constexpr uint32_t kEcDefaultFlashSize = 3 * 65536;
void EcWriteDefaultFlash(const EcConfig& ec, uint8_t* flash);

// Number and byte-list values as the rows read them.
bool EcParseNumber(EcText text, uint64_t max, uint64_t* value);
bool EcParseBytes(EcText text, size_t max, uint8_t* bytes, size_t* count);

}  // namespace sim
