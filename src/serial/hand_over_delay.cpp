#include "serial/hand_over_delay.h"

#include <algorithm>

namespace tally {

std::int64_t HandOverDelay::Micros() const {
    return *std::max_element(recent_.begin(), recent_.end());
}

void HandOverDelay::Late(std::int64_t micros) {
    if (micros < kNoticeMicros)
        OnTime();
    else
        record(std::min(micros, kMaxMicros));
}

void HandOverDelay::OnTime() {
    record(Micros() * 7 / 8);
}

void HandOverDelay::record(std::int64_t micros) {
    recent_[next_] = micros;
    next_ = (next_ + 1) % recent_.size();
}

}  // namespace tally
