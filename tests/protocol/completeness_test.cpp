#include "protocol/completeness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tally {
namespace {

struct CompletenessCase {
    Protocol protocol;
    std::string rx;
    bool deadlinePassed;
    bool complete;
};

TEST(ReplyIsComplete, TextRepliesNeedTheirTerminatorAndRtuNeedsTheDeadline) {
    const std::vector<CompletenessCase> cases = {
        {Protocol::Own, ">00000001\r", false, true},
        {Protocol::Own, "\r", false, true},
        {Protocol::Own, "DO>OK\r\n", false, false},
        {Protocol::Own, "DO>OK", true, false},
        {Protocol::Own, "", true, false},
        {Protocol::ModbusAscii, ":01020105F7\r\n", false, true},
        {Protocol::ModbusAscii, "\r\n", false, true},
        {Protocol::ModbusAscii, ":01020105F7\r", true, false},
        {Protocol::ModbusAscii, "\n", false, false},
        {Protocol::ModbusAscii, ":01020105F7\n\r", false, false},
        // RTU has no terminator: a reply ending in CR LF bytes is still not complete.
        {Protocol::ModbusRtu, "\x01\x02\r\n", false, false},
        {Protocol::ModbusRtu, "\x01\x02\x01", true, true},
        {Protocol::ModbusRtu, "", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplyIsComplete(c.protocol, c.rx, c.deadlinePassed), c.complete)
            << static_cast<int>(c.protocol) << " " << c.rx;
    }
}

TEST(EndsWithTerminator, IsNeverTrueForRtu) {
    EXPECT_FALSE(EndsWithTerminator(Protocol::ModbusRtu, "\r"));
    EXPECT_FALSE(EndsWithTerminator(Protocol::ModbusRtu, "\r\n"));
    EXPECT_TRUE(EndsWithTerminator(Protocol::Own, "x\r"));
}

}  // namespace
}  // namespace tally
