// tarnwick-simec: the real program on real firmware, with the simulated EC
// of sim/ behind its port I/O. Its EC is described by \SIMEC\EC.CFG and its
// flash lives in \SIMEC\FLASH.BIN, both on the volume the image was started
// from, so the flash survives the power cycles the EC is asked for.
#pragma once

#include "platform/platform.h"
#include "sim/ec_settings.h"

constexpr const Char16* kSimecConfigPath = u"\\SIMEC\\EC.CFG";
constexpr const Char16* kSimecFlashPath = u"\\SIMEC\\FLASH.BIN";

// Reads the configuration text into setup (which holds the defaults).
// False, with a message on the console, for a line it does not understand.
bool SimecParseConfig(const char* text, size_t length, sim::EcSetup* setup);

// The boot volume's files.
EfiStatus SimecReadFile(const Char16* path, uint8_t* buffer, size_t capacity, size_t* length);
EfiStatus SimecWriteFile(const Char16* path, const uint8_t* data, size_t length);

// One line for the console, with CR LF.
void SimecSay(const Char16* text);
