// libFuzzer entry for the reply decoder.
//
// Input layout: byte 0 picks the protocol, byte 1 the poll step, byte 2 how many
// of the remaining bytes form the pending frame; the rest is the received reply.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "protocol/completeness.h"
#include "protocol/reply_check.h"
#include "protocol/reply_decoder.h"

namespace {

constexpr int kPollSteps[] = {0, 1, 2, 3, 4, 10, 13, 14, 20, 24, 30, 31, 40, 110, 1000, -4};

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto protocol = static_cast<tally::Protocol>(data[0] % 3);
    const int step = kPollSteps[data[1] % (sizeof kPollSteps / sizeof kPollSteps[0])];
    const std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::size_t split = data[2] < rest.size() ? data[2] : rest.size();
    const std::string_view pending = rest.substr(0, split);
    const std::string_view rx = rest.substr(split);

    const tally::ReplyMeaning m = tally::DecodeReplyBytes(rx, step, protocol, pending);
    // The pending frame stands for the request: checking never trusts its shape.
    tally::ReplyIsComplete(protocol, pending, rx);
    const tally::Outcome outcome = tally::CheckReply(protocol, pending, rx);
    Require(outcome.kind != tally::OutcomeKind::TimeOut);
    Require(tally::LongestReplyLength(protocol, pending) <= 1024);

    for (const auto& c : m.counters)
        if (c) Require(std::isfinite(*c) && *c >= 0);
    for (const auto& c : m.channels)
        if (c) Require(*c == 0 || *c == 1);
    for (const auto f : m.enableFlags)
        Require(f == 0 || f == 1);
    if (m.kind == tally::ReplyMeaning::Kind::EnableStatus) Require(step % 10 == 4);
    return 0;
}
