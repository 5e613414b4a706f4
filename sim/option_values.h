// The values tarnwick-sim's options and faults take: numbers, hex bytes, key
// texts, times and sizes. Each answers false for a value it cannot read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

// "42", "0x2A", "052", "64K": at most max.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value);

// "EF,40,13" or "EF 40 13": hexadecimal bytes, at most max of them.
bool ParseBytes(const std::string& text, size_t max, std::vector<uint8_t>* bytes);

// Key presses: characters, and \r \n \t \b \e \U \D \R \L \\ (appended to keys).
bool ParseKeys(const std::string& text, std::vector<InputKey>* keys);

// "2026-02-03T04:05:06".
bool ParseTime(const std::string& text, EfiTime* time);

// "80x25": 1..1000 columns and rows.
bool ParseGrid(const std::string& text, size_t* columns, size_t* rows);

}  // namespace sim
