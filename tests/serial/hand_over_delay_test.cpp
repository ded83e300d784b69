#include "serial/hand_over_delay.h"

#include <gtest/gtest.h>

namespace tally {
namespace {

TEST(HandOverDelay, RisesAtOnceWithALateReplyAndShrinksSlowlyWhileRepliesAreOnTime) {
    HandOverDelay delay;
    EXPECT_EQ(delay.Micros(), 0);  // a line that hands over at once is looked at at once
    delay.OnTime();
    EXPECT_EQ(delay.Micros(), 0);

    delay.Late(3'000);
    delay.Late(1'000);  // a less late reply does not lower it
    EXPECT_EQ(delay.Micros(), 3'000);
    delay.Late(-5);  // a clock read before the earliest moment counts as on time
    delay.Late(HandOverDelay::kNoticeMicros - 1);  // so does the program's own wake-up
    EXPECT_EQ(delay.Micros(), 3'000);

    // On time for as many replies as it remembers: the late one is forgotten and
    // the wait has come down by an eighth, not to nothing.
    for (int i = 0; i < 16; ++i)
        delay.OnTime();
    EXPECT_EQ(delay.Micros(), 2'625);
    delay.Late(2'900);
    EXPECT_EQ(delay.Micros(), 2'900);

    // A stalled adapter or a busy module costs no more than the bound per reply.
    delay.Late(500'000);
    EXPECT_EQ(delay.Micros(), HandOverDelay::kMaxMicros);
}

}  // namespace
}  // namespace tally
