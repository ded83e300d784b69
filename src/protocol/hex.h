// Hexadecimal text, byte strings, bit arrays and numbers.
//
// Everything on the line is handled as upper-case hex text; these are the only
// routines that move between that text and bytes, bits and numbers. None of them
// fails: characters that are not hex digits are absorbed by the group-value rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tally {

// One character per byte, every value 0-255 kept (NUL and bytes above 7F included).
using Bytes = std::string;

// Element j is bit j of the number the hex text denotes (element 0 = least significant).
using BitArray = std::vector<std::int16_t>;

// Value of a group of one or two characters read as hex from the left up to the
// first non-hex character; lower case is accepted. "1G" is worth 1, "G1" is worth 0.
int GroupValue(std::string_view group);

Bytes HexToBytes(std::string_view hex);
std::string BytesToHex(std::string_view bytes);
BitArray HexToBits(std::string_view hex);
std::string BitsToHex(const BitArray& bits);
double HexToNumber(std::string_view hex);
// Whole, non-negative values only; 0 gives the empty text (callers pad).
std::string NumberToHex(double value);

}  // namespace tally
