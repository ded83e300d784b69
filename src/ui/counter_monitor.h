// The texts of one monitor row: the raw count and the scaled value.
#pragma once

#include <string>
#include <string_view>

namespace tally {

struct CounterRowTexts {
    std::string raw;     // shortest decimal text of the count
    std::string scaled;  // count x multiplier, "0.0###"
};

// The multiplier counts by its leading number, so a text without one scales to 0.0.
CounterRowTexts CounterRow(double value, std::string_view multiplierText);

}  // namespace tally
