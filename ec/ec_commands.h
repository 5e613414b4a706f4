// Every command and message byte tarnwick sends to the EC, and the EC RAM
// locations it uses.
#pragma once

#include <stdint.h>

// Flash-mode commands, to the selected command port.
constexpr uint8_t EC_FLASH_CHIP_ERASE = 0x01;
constexpr uint8_t EC_FLASH_PROGRAM = 0x02;
constexpr uint8_t EC_FLASH_READ_BLOCK = 0x03;
constexpr uint8_t EC_FLASH_READ_ID = 0x04;
constexpr uint8_t EC_FLASH_SECTOR_ERASE = 0x05;
constexpr uint8_t EC_FLASH_PROGRAM_BOOT = 0x06;
constexpr uint8_t EC_FLASH_ENTER = 0xDC;
constexpr uint8_t EC_FLASH_PREPARE = 0xDE;
constexpr uint8_t EC_FLASH_QUERY_MODE = 0xF0;
constexpr uint8_t EC_FLASH_EXIT_WATCHDOG = 0xFC;
constexpr uint8_t EC_FLASH_EXIT = 0xFE;

// Queries, to the selected command port.
constexpr uint8_t EC_QUERY_PROJECT = 0x92;
constexpr uint8_t EC_QUERY_VERSION = 0x93;

// Fixed-port commands (0x66/0x62 whatever set is selected).
constexpr uint8_t EC_RAM_READ = 0x80;
constexpr uint8_t EC_RAM_WRITE = 0x81;
constexpr uint8_t EC_POWER_OFF = 0x95;
constexpr uint8_t EC_AUTO_POWER_ON = 0x97;  // goes to the data port 0x62

// EC RAM locations.
constexpr uint8_t EC_RAM_ADAPTER_STATUS = 0x10;
constexpr uint8_t EC_RAM_MBOX_CMD = 0xF8;
constexpr uint8_t EC_RAM_MBOX_DATA0 = 0xF9;
constexpr uint8_t EC_RAM_MBOX_DATA1 = 0xFA;
constexpr uint8_t EC_RAM_MBOX_DATA2 = 0xFB;
constexpr uint8_t EC_MBOX_SIZE_PROBE = 0xB1;

// The port sets /o chooses from, by index: command/status port and data
// port. Any other index selects set kEcDefaultPortSet. The simulated EC
// reads this table too, so a new set is one more row here.
struct EcPortPair {
  uint8_t Command;
  uint8_t Data;
};
constexpr EcPortPair kEcPortSets[] = {
    {0x64, 0x60},
    {0x66, 0x62},
    {0x6C, 0x68},
    {0x6E, 0x6A},
};
constexpr uint8_t kEcPortSetCount = sizeof(kEcPortSets) / sizeof(kEcPortSets[0]);
constexpr uint8_t kEcDefaultPortSet = 1;

// Fixed ports of the ACPI EC interface.
constexpr uint16_t EC_FIXED_COMMAND_PORT = 0x66;
constexpr uint16_t EC_FIXED_DATA_PORT = 0x62;

// Status register bits.
constexpr uint8_t EC_STATUS_OBF = 0x01;  // the EC has put a byte in the data port
constexpr uint8_t EC_STATUS_IBF = 0x02;  // the EC has not yet taken the host's last byte
