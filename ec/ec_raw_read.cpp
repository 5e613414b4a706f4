#include "ec/ec_raw_read.h"

#include "platform/platform.h"

uint8_t EcRawReadFixedPort(uint16_t port) { return PortRead8(port); }
