// Showing an identity text (an EC reply or an image tag value) on the console.
#pragma once

#include <stddef.h>
#include <stdint.h>

// An identity text's buffer: the EC's project or version reply, or an image
// tag's value, up to and including its '$'.
constexpr unsigned kNameBufferSize = 16;

// Prints bytes[0..count) up to, not including, the first '$'. Each byte is
// shown as the UCS-2 character of the same value; a NUL shows nothing.
void PrintNameText(const uint8_t* bytes, size_t count);
