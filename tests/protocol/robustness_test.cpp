// Hostile and seeded random replies through the fuzz target's invariants, built with the
// address and undefined-behaviour sanitizers.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using namespace std::string_literals;
const std::string kReplyAlphabet = ">,:#\r\n0123456789ABCDEFabcdefGOKRTCDIx \xFF\x80";
std::mt19937 rng;

int Pick(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
}

// One protocol, poll step and pending frame with `rx`; a failed invariant aborts, with
// the sanitizer's report of where.
void Feed(char protocol, char step, const std::string& pending, const std::string& rx) {
    const std::string frame = pending.substr(0, 255);
    const std::string input =
        std::string{protocol, step, static_cast<char>(frame.size())} + frame + rx;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
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
    for (const auto& rx : hostile) {
        for (char protocol = 0; protocol < 3; ++protocol) {
            for (char step = 0; step < 20; ++step)  // each of the target's poll steps
                Feed(protocol, step, rx, rx);
        }
    }
    for (const std::uint32_t seed : {1u, 4300u, 20240531u, 0xC0FFEEu}) {
        rng.seed(seed);
        for (int i = 0; i < 20000; ++i) {
            // Half reply-like text, one in fifty long, most ending like a reply, half echoes.
            const int shape = Pick(0, 49), last = static_cast<int>(kReplyAlphabet.size()) - 1;
            std::string rx;
            for (int k = shape == 0 ? Pick(0, 10000) : Pick(0, 80); k > 0; --k)
                rx += shape % 2 ? kReplyAlphabet[Pick(0, last)] : static_cast<char>(Pick(0, 255));
            rx += Pick(0, 2) == 0 ? "" : Pick(0, 1) ? "\r" : "\r\n";
            const std::string pending =
                Pick(0, 1) ? rx : noise.substr(static_cast<std::size_t>(Pick(0, 9000)), 17);
            Feed(static_cast<char>(Pick(0, 2)), static_cast<char>(Pick(0, 19)), pending, rx);
        }
    }
}

}  // namespace
