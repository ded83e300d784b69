// Seeded random and hostile replies for the reply routines, built with the address and
// undefined-behaviour sanitizers; the checks are invariants that hold whatever arrives.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "protocol/completeness.h"
#include "protocol/frames.h"
#include "protocol/hex.h"
#include "protocol/reply_check.h"
#include "protocol/reply_decoder.h"

namespace tally {
namespace {

using namespace std::string_literals;
using Kind = ReplyMeaning::Kind;
const int kSteps[] = {0, 1, 2, 3, 4, 10, 14, 20, 23, 30, 31, 40, 110, 114, -4, -10, INT_MIN};
const Protocol kProtocols[] = {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu};
const Kind kReads[] = {Kind::Nothing, Kind::Counters, Kind::Inputs, Kind::Outputs};
const std::string kReplyAlphabet = ">,:#\r\n0123456789ABCDEFabcdefGOKRTCDIx \xFF\x80";
std::mt19937 rng;

int Pick(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
}

void CheckDecoding(const std::string& rx, const std::string& pending) {
    for (const auto protocol : kProtocols) {
        // The pending frame stands for the request: nothing trusts its shape.
        ASSERT_NE(CheckReply(protocol, pending, rx).kind, OutcomeKind::TimeOut);
        ASSERT_LE(ReplyIsComplete(protocol, pending, rx) + LongestReplyLength(protocol, pending),
                  1024u);
        const double limit = protocol == Protocol::Own ? HUGE_VAL : 4294967296.0;  // 32-bit Modbus
        for (const int step : kSteps) {
            const ReplyMeaning m = DecodeReplyBytes(rx, step, protocol, pending);
            for (std::size_t k = 0; k < 8; ++k) {
                const double c = m.counters[k].value_or(0);
                const int channel = m.channels[k].value_or(0), flag = m.enableFlags[k];  // 0 or 1
                ASSERT_TRUE(c >= 0 && c < limit && (channel | flag) >> 1 == 0) << c;
            }
            const int units = step % 10;  // a poll step gets its read, a command reply none
            const bool isRead = m.kind == kReads[1] || m.kind == kReads[2] || m.kind == kReads[3];
            const Kind poll = step >= 0 && step <= 30 ? kReads[step / 10] : kReads[0];
            ASSERT_TRUE(units == 0 ? m.kind == poll
                                   : !isRead && (m.kind != Kind::EnableStatus || units == 4))
                << step;
        }
    }
    ASSERT_GE(HexToNumber(rx), 0.0);  // false for NaN too
    ASSERT_EQ(HexToBytes(BytesToHex(rx)), rx);
}

TEST(Robustness, HostileAndSeededRandomInputKeepEveryInvariant) {
    std::string noise;  // every byte value in turn, then random bytes
    for (int v = 0; v < 10000; ++v)
        noise += static_cast<char>(v < 256 ? v : Pick(0, 255));
    std::vector<std::string> hostile = {
        "", ">", "\r", "\r\n", "\xFF", "\x80\xFF\xFE\r\n", "RCT>00000001,>", "RTC>", "RTC>A", ":"};
    hostile.insert(hostile.end(), {"\0"s, "\0\0\0\0\0\0\0\0\0"s, "RTC>\0\0\r"s,
                                   std::string(30, ','), ">" + std::string(30, ',') + "\r",
                                   std::string(10000, '>'), noise.substr(0, 256), noise});
    for (const auto& rx : hostile)
        ASSERT_NO_FATAL_FAILURE(CheckDecoding(rx, rx));
    for (const std::uint32_t seed : {1u, 4300u, 20240531u, 0xC0FFEEu}) {
        rng.seed(seed);
        for (int i = 0; i < 4000; ++i) {
            // Half reply-like text, one in fifty long, most ending like a reply, half echoes.
            const int shape = Pick(0, 49), last = static_cast<int>(kReplyAlphabet.size()) - 1;
            std::string rx;
            for (int k = shape == 0 ? Pick(0, 10000) : Pick(0, 80); k > 0; --k)
                rx += shape % 2 ? kReplyAlphabet[Pick(0, last)] : static_cast<char>(Pick(0, 255));
            rx += Pick(0, 2) == 0 ? "" : Pick(0, 1) ? "\r" : "\r\n";
            const std::string pending = Pick(0, 1) ? rx : noise.substr(Pick(0, 9000), 17);
            ASSERT_NO_FATAL_FAILURE(CheckDecoding(rx, pending)) << "seed " << seed << " #" << i;
        }
    }
}

}  // namespace
}  // namespace tally
