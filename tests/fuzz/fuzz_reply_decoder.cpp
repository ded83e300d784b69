// libFuzzer entry for the reply routines, also driven by the sanitizer test of
// tests/protocol with hostile and seeded inputs: the invariants are written here once.
//
// Input layout: byte 0 picks the protocol, byte 1 the poll step, byte 2 how many
// of the remaining bytes form the pending frame; the rest is the received reply.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/completeness.h"
#include "protocol/hex.h"
#include "protocol/reply_check.h"
#include "protocol/reply_decoder.h"

namespace {

using Kind = tally::ReplyMeaning::Kind;
constexpr int kPollSteps[] = {0,  1,  2,  3,  4,   10,  13,   14, 20,  23,
                              24, 30, 31, 40, 110, 114, 1000, -4, -10, INT_MIN};

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto protocol = static_cast<tally::Protocol>(data[0] % 3);
    const int step = kPollSteps[data[1] % (sizeof kPollSteps / sizeof kPollSteps[0])];
    const std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::size_t split = data[2] < rest.size() ? data[2] : rest.size();
    const std::string pending = rest.substr(0, split);
    const std::string rx = rest.substr(split);

    // The pending frame stands for the request: checking never trusts its shape.
    Require(tally::CheckReply(protocol, pending, rx).kind != tally::OutcomeKind::TimeOut);
    Require(tally::ReplyIsComplete(protocol, pending, rx) +
                tally::LongestReplyLength(protocol, pending) <=
            1024);
    const tally::ReplyMeaning m = tally::DecodeReplyBytes(rx, step, protocol, pending);
    // Modbus counters are two 16-bit registers.
    const double limit = protocol == tally::Protocol::Own ? HUGE_VAL : 4294967296.0;
    for (std::size_t k = 0; k < 8; ++k) {
        const double c = m.counters[k].value_or(0);
        Require(c >= 0 && c < limit);
        Require(m.channels[k].value_or(0) >> 1 == 0 && m.enableFlags[k] >> 1 == 0);
    }
    // A poll step gets the read it asked for, a command's reply never a read.
    const bool isRead =
        m.kind == Kind::Counters || m.kind == Kind::Inputs || m.kind == Kind::Outputs;
    const Kind reads[] = {Kind::Counters, Kind::Inputs, Kind::Outputs};
    if (step % 10 == 0)
        Require(m.kind == (step >= 10 && step <= 30 ? reads[step / 10 - 1] : Kind::Nothing));
    else
        Require(!isRead && (m.kind != Kind::EnableStatus || step % 10 == 4));
    Require(tally::HexToNumber(rx) >= 0.0);  // false for NaN too
    Require(tally::HexToBytes(tally::BytesToHex(rx)) == rx);
    return 0;
}
