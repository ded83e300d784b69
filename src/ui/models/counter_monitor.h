// The texts of one monitor row: the raw count and the scaled value.
#pragma once

#include <string>

namespace tally {

struct CounterRowTexts {
    std::string raw;     // shortest decimal text of the count
    std::string scaled;  // count x multiplier, "0.0###"
};

CounterRowTexts CounterRow(double value, double multiplier);

}  // namespace tally
