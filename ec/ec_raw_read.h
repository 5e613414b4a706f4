// One plain read of a fixed EC port, with no handshake: the AC check uses it
// to take up whatever the EC may have left on 0x62 and 0x66.
#pragma once

#include <stdint.h>

uint8_t EcRawReadFixedPort(uint16_t port);
