#include "ui/models/counter_monitor.h"

#include "numbers/number_text.h"

namespace tally {

CounterRowTexts CounterRow(double value, double multiplier) {
    return {ShortestDecimal(value), FormatDecimal(Scaled(value, multiplier), 1, 4)};
}

}  // namespace tally
