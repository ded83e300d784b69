#include "ui/counter_monitor.h"

#include "ui/number_text.h"

namespace tally {

CounterRowTexts CounterRow(double value, std::string_view multiplierText) {
    return {ShortestDecimal(value), FormatDecimal(LeadingNumber(multiplierText) * value, 1, 4)};
}

}  // namespace tally
