// Base64 decoding (RFC 4648, standard alphabet) as the configuration file
// needs it: nothing is skipped, a short final group is completed with 'A', and
// only '=' in the third or fourth place of a group withholds a byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace baseline {

// Bytes the output of base64Decode needs for `count` characters: three per
// group of four, a short final group counted whole.
constexpr std::size_t base64DecodedCapacity(std::size_t count) { return (count + 3) / 4 * 3; }

// Decodes `count` characters into `out`, which must hold
// base64DecodedCapacity(count) bytes; returns the number of bytes written.
// Fails, returning 0, only for a count of zero (any group yields a byte).
// A byte outside the alphabet, and '=' wherever it stands, contributes the
// value 0 to its group, as 'A' does.
std::size_t base64Decode(const char* text, std::size_t count, std::uint8_t* out);

// The value a character contributes to its group.
std::uint8_t base64Value(char c);

// True for 'A'-'Z', 'a'-'z', '0'-'9', '+' and '/'.
bool isBase64Alphabet(char c);

}  // namespace baseline
