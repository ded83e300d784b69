// Strict hex parsing for incoming requests.
//
// The program's own hex routines absorb bad characters by design; a module must
// instead refuse a request whose digits are not hex, so it has its own check.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tally::sim {

// Value of a run of hex digits (either case); nullopt when any is not hex or the
// text is empty or longer than eight digits.
std::optional<unsigned long> ParseHexNumber(std::string_view text);
// Bytes of an even-length hex text; nullopt on odd length or a non-hex digit.
std::optional<std::string> ParseHexBytes(std::string_view text);

}  // namespace tally::sim
