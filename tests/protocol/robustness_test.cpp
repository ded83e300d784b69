// Deterministic randomized inputs for every protocol routine. Built with the
// address and undefined-behaviour sanitizers, so any out-of-range read, signed
// overflow or bad conversion stops the run; the checks here add the invariants
// that must hold whatever arrives on the line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "protocol/checksum.h"
#include "protocol/completeness.h"
#include "protocol/frames.h"
#include "protocol/hex.h"
#include "protocol/reply_decoder.h"

namespace tally {
namespace {

using Kind = ReplyMeaning::Kind;

constexpr std::uint32_t kSeeds[] = {1, 4300, 20240531, 0xC0FFEE};
constexpr int kInputsPerSeed = 5000;

const std::vector<int> kPollSteps = {0,
                                     1,
                                     2,
                                     3,
                                     4,
                                     10,
                                     14,
                                     20,
                                     23,
                                     30,
                                     31,
                                     40,
                                     104,
                                     110,
                                     1000,
                                     1030,
                                     -4,
                                     -10,
                                     114,
                                     134,
                                     9999,
                                     std::numeric_limits<int>::min(),
                                     std::numeric_limits<int>::max()};
const Protocol kProtocols[] = {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu};

// Characters that matter to the decoders, so random text often looks like a reply.
const std::string kReplyAlphabet = ">,:#\r\n0123456789ABCDEFabcdefGOKRTCDIx \xFF\x80";

class Inputs {
  public:
    explicit Inputs(std::uint32_t seed) : m_rng(seed) {}

    std::string Next() {
        // One input in fifty is long (up to 10 000 bytes); half are reply-like text.
        const int shape = Pick(0, 49);
        const std::size_t length =
            static_cast<std::size_t>(shape == 0 ? Pick(0, 10000) : Pick(0, 80));
        const bool replyLike = shape % 2 == 1;
        std::string text;
        text.reserve(length + 2);
        for (std::size_t i = 0; i < length; ++i) {
            if (replyLike)
                text.push_back(kReplyAlphabet[static_cast<std::size_t>(
                    Pick(0, static_cast<int>(kReplyAlphabet.size()) - 1))]);
            else
                text.push_back(static_cast<char>(Pick(0, 255)));
        }
        // Often end the way a complete reply ends.
        const int tail = Pick(0, 3);
        if (tail == 1) text.push_back('\r');
        if (tail == 2) text.append("\r\n");
        return text;
    }

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_rng); }

    double AnyDouble() {
        switch (Pick(0, 5)) {
            case 0:
                return std::numeric_limits<double>::quiet_NaN();
            case 1:
                return Pick(0, 1) ? std::numeric_limits<double>::infinity()
                                  : -std::numeric_limits<double>::infinity();
            case 2:
                return std::uniform_real_distribution<double>(-1e20, 1e20)(m_rng);
            case 3:
                return std::uniform_real_distribution<double>(0, 4294967296.0)(m_rng);
            case 4:
                return std::ldexp(1.0, Pick(-1074, 1023));
            default:
                return Pick(-10, 10);
        }
    }

  private:
    std::mt19937 m_rng;
};

bool IsFlag(std::int16_t v) {
    return v == 0 || v == 1;
}

void CheckMeaning(const ReplyMeaning& m, int step, Protocol protocol) {
    for (const auto& c : m.counters) {
        if (!c) continue;
        ASSERT_TRUE(std::isfinite(*c));
        ASSERT_GE(*c, 0.0);
        // Under Modbus a counter is at most 32 bits.
        if (protocol != Protocol::Own) {
            ASSERT_LE(*c, 4294967295.0);
        }
    }
    for (const auto& c : m.channels) {
        if (c) {
            ASSERT_TRUE(IsFlag(*c));
        }
    }
    for (const auto f : m.enableFlags)
        ASSERT_TRUE(IsFlag(f));
    // A reply to a user command is never a poll reply, and a poll reply is the read asked for.
    const int units = step % 10;
    if (units != 0) {
        ASSERT_TRUE(m.kind == Kind::Nothing || m.kind == Kind::OutputAck ||
                    m.kind == Kind::ClearAck || m.kind == Kind::PresetAck ||
                    m.kind == Kind::EnableStatus);
        if (m.kind == Kind::EnableStatus) {
            ASSERT_EQ(units, 4);
        }
    } else if (step == 10) {
        ASSERT_EQ(m.kind, Kind::Counters);
    } else if (step == 20) {
        ASSERT_EQ(m.kind, Kind::Inputs);
    } else if (step == 30) {
        ASSERT_EQ(m.kind, Kind::Outputs);
    } else {
        ASSERT_EQ(m.kind, Kind::Nothing);
    }
}

void CheckDecoder(const std::string& rx, const std::string& pending) {
    for (const auto protocol : kProtocols) {
        for (const int step : kPollSteps) {
            const ReplyMeaning m = DecodeReplyBytes(rx, step, protocol, pending);
            ASSERT_NO_FATAL_FAILURE(CheckMeaning(m, step, protocol)) << step;
        }
        ReplyIsComplete(protocol, rx, true);
        ReplyIsComplete(protocol, rx, false);
    }
    // A value the enum does not name decodes to nothing.
    ASSERT_EQ(DecodeReplyBytes(rx, 10, static_cast<Protocol>(-1), pending).kind, Kind::Nothing);
}

void CheckConversions(const std::string& text) {
    const Bytes bytes = HexToBytes(text);
    ASSERT_EQ(bytes.size(), text.size() / 2);
    const std::string hex = BytesToHex(text);
    ASSERT_EQ(hex.size(), 2 * text.size());
    ASSERT_EQ(HexToBytes(hex), text);
    const BitArray bits = HexToBits(text);
    ASSERT_EQ(bits.size(), 4 * text.size() + 1);
    ASSERT_EQ(BitsToHex(bits).size(), text.size() + 1);
    ASSERT_FALSE(std::isnan(HexToNumber(text)));
    ASSERT_GE(HexToNumber(text), 0.0);
    ASSERT_EQ(LrcOfHex(text).size(), 2u);
    ASSERT_EQ(Crc16OfBytes(text).size(), 4u);
    ASSERT_EQ(CrcOfHex(text).size(), 4u);
    const int group = GroupValue(text);
    ASSERT_TRUE(group >= 0 && group <= 255);
}

void CheckBuilders(Inputs& in, const std::string& text) {
    const int n =
        in.Pick(0, 3) == 0 ? in.Pick(std::numeric_limits<int>::min(), -1) : in.Pick(-2, 12);
    const std::string station = StationHexOf(in.Pick(-100, 100));
    ASSERT_EQ(station.size(), 2u);
    const Request requests[] = {ToggleOutputRequest(n, in.Pick(-3, 3)), ClearCounterRequest(n),
                                PresetCounterRequest(n, in.AnyDouble()), WriteEnableRequest(text),
                                AllOutputsRequest(in.Pick(0, 1) == 1)};
    for (const auto& request : requests) {
        for (const auto protocol : kProtocols) {
            const auto frame = BuildFrame(protocol, station, request);
            if (!frame) continue;
            if (protocol == Protocol::Own) {
                ASSERT_EQ(frame->front(), '#');
                ASSERT_EQ(frame->back(), '\r');
                // Own-protocol frames are printable ASCII but for the CR.
                for (std::size_t i = 0; i + 1 < frame->size(); ++i) {
                    const auto u = static_cast<unsigned char>((*frame)[i]);
                    ASSERT_TRUE(u >= 0x20 && u < 0x7F) << *frame;
                }
            } else if (protocol == Protocol::ModbusRtu) {
                ASSERT_EQ(Crc16OfBytes(*frame), "0000");
            }
        }
    }
    const std::string v = PresetValueHex(in.AnyDouble());
    ASSERT_EQ(v.size(), 8u);
    const std::string digits = NumberToHex(in.AnyDouble());
    ASSERT_LE(digits.size(), 260u);
}

TEST(Robustness, NamedHostileRepliesDecodeSafely) {
    std::string allBytes;
    for (int v = 0; v < 256; ++v)
        allBytes.push_back(static_cast<char>(v));
    const std::vector<std::string> hostile = {
        "",
        ">",
        "\r",
        "\r\n",
        std::string(1, '\0'),
        std::string(9, '\0'),
        std::string("RTC>\0\0\r", 7),
        "\xFF",
        "\x80\xFF\xFE\r\n",
        "RCT>00000001,>",
        std::string(30, ','),
        ">" + std::string(30, ',') + "\r",
        std::string(10000, '>'),
        "RTC>",
        "RTC>A",
        ":",
        allBytes,
    };
    for (const auto& rx : hostile) {
        ASSERT_NO_FATAL_FAILURE(CheckDecoder(rx, rx));
        ASSERT_NO_FATAL_FAILURE(CheckDecoder(rx, ""));
        ASSERT_NO_FATAL_FAILURE(CheckConversions(rx));
    }
    Inputs in(7);
    std::string noise;
    for (int i = 0; i < 10000; ++i)
        noise.push_back(static_cast<char>(in.Pick(0, 255)));
    ASSERT_NO_FATAL_FAILURE(CheckDecoder(noise, noise.substr(0, 17)));
    ASSERT_NO_FATAL_FAILURE(CheckConversions(noise));
}

TEST(Robustness, RandomRepliesNeverBreakTheDecoderInvariants) {
    for (const auto seed : kSeeds) {
        Inputs in(seed);
        for (int i = 0; i < kInputsPerSeed; ++i) {
            const std::string rx = in.Next();
            // Half the time the pending frame is the reply itself, so echoes match.
            const std::string pending = in.Pick(0, 1) ? rx : in.Next();
            ASSERT_NO_FATAL_FAILURE(CheckDecoder(rx, pending)) << "seed " << seed << " #" << i;
        }
    }
}

TEST(Robustness, RandomTextNeverBreaksTheConversionsOrTheBuilders) {
    for (const auto seed : kSeeds) {
        Inputs in(seed);
        for (int i = 0; i < kInputsPerSeed; ++i) {
            const std::string text = in.Next();
            ASSERT_NO_FATAL_FAILURE(CheckConversions(text)) << "seed " << seed << " #" << i;
            ASSERT_NO_FATAL_FAILURE(CheckBuilders(in, text)) << "seed " << seed << " #" << i;
        }
    }
}

TEST(Robustness, ArbitraryBitArraysGiveOneDigitPerFourElements) {
    Inputs in(99);
    for (int i = 0; i < kInputsPerSeed; ++i) {
        BitArray bits(static_cast<std::size_t>(in.Pick(0, 40)));
        for (auto& b : bits)
            b = static_cast<std::int16_t>(in.Pick(-32768, 32767));
        const std::string hex = BitsToHex(bits);
        ASSERT_EQ(hex.size(), (bits.size() + 3) / 4);
        for (const char c : hex)
            ASSERT_NE(std::string("0123456789ABCDEF").find(c), std::string::npos);
    }
}

}  // namespace
}  // namespace tally
