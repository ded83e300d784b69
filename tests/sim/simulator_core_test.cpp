#include "sim/simulator_core.h"

#include <gtest/gtest.h>

#include "protocol/checksum.h"
#include "protocol/hex.h"
#include "sim/seeded_random.h"

namespace tally::sim {
namespace {

struct Chunk {
    std::int64_t timeUs;
    std::string bytes;
};

// Drives a core on a fake clock: every wake-up it asks for is honoured exactly.
class Line {
  public:
    explicit Line(SimOptions options = {}) : core(options) {}

    void send(std::int64_t atUs, const std::string& bytes, int baud = 9600) {
        runUntil(atUs);
        core.receive(atUs, bytes, baud);
        collect(atUs);
    }
    void runUntil(std::int64_t untilUs) {
        while (auto wake = core.nextWakeUs()) {
            if (*wake > untilUs) break;
            collect(*wake);
        }
        nowUs = untilUs;
    }
    std::string received() const {
        std::string all;
        for (const auto& chunk : chunks)
            all += chunk.bytes;
        return all;
    }

    SimulatorCore core;
    std::vector<Chunk> chunks;
    std::int64_t nowUs = 0;

  private:
    void collect(std::int64_t atUs) {
        std::string out = core.advance(atUs);
        if (!out.empty()) chunks.push_back({atUs, std::move(out)});
    }
};

SimOptions Still() {
    SimOptions options;
    options.seed = 0;
    return options;
}

const std::string kCounters =
    ">00000000,00000000,00000000,00000000,00000000,00000000,00000000,00000000\r";

TEST(SimulatorCoreTest, AnswerIsPacedAtTenBitsAByteAtTheMastersSpeed) {
    Line line(Still());
    line.send(0, "#01RCT\r", 9600);
    line.runUntil(10'000'000);
    EXPECT_EQ(line.received(), kCounters);
    // 73 bytes at 9600 baud: the last one is complete after 76.04 ms.
    EXPECT_EQ(line.chunks.back().timeUs, 73LL * 10'000'000 / 9600);
    EXPECT_EQ(line.chunks.front().timeUs, 10'000'000 / 9600);

    Line fast(Still());
    fast.send(0, "#01RCT\r", 115200);
    fast.runUntil(10'000'000);
    EXPECT_EQ(fast.chunks.back().timeUs, 73LL * 10'000'000 / 115200);
}

TEST(SimulatorCoreTest, DelayPostponesTheAnswer) {
    SimOptions options = Still();
    options.delayMs = 250;
    Line line(options);
    line.send(1'000, "#01RDO\r");
    line.runUntil(250'000);
    EXPECT_TRUE(line.chunks.empty());
    line.runUntil(2'000'000);
    EXPECT_EQ(line.received(), ">00000000\r");
    EXPECT_GT(line.chunks.front().timeUs, 251'000);
}

TEST(SimulatorCoreTest, RtuRequestIsAnsweredAfterTheSilence) {
    Line line(Still());
    line.send(0, HexToBytes("0101000000083DCC"), 19200);
    line.runUntil(1'000'000);
    EXPECT_EQ(BytesToHex(line.received()), "010101005188");
    // Not before the frame has ended: 3.5 characters of silence at 19200 baud.
    EXPECT_GE(line.chunks.front().timeUs, 2005);
    EXPECT_EQ(line.core.stats().modbusRtu, 1U);
}

TEST(SimulatorCoreTest, ProtocolsMayBeMixedOnOneLine) {
    Line line(Still());
    line.send(0, "#01WDO1,1\r");
    line.send(100'000, ":010100000008F6\r\n");
    line.send(200'000, HexToBytes("0101000000083DCC"));
    line.runUntil(1'000'000);
    EXPECT_EQ(line.received(),
              "DO>OK\r:01010101FC\r\n" + HexToBytes("01010101" + CrcOfHex("01010101")));
    EXPECT_EQ(line.core.stats().answers, 3U);
    EXPECT_EQ(line.core.stats().overlaps, 0U);
}

TEST(SimulatorCoreTest, WrongLineSpeedGetsSilence) {
    SimOptions options = Still();
    options.baud = 19200;
    Line line(options);
    line.send(0, "#01RDO\r", 9600);
    line.runUntil(1'000'000);
    EXPECT_TRUE(line.chunks.empty());
    EXPECT_EQ(line.core.stats().wrongSpeedBytes, 7U);
    EXPECT_EQ(line.core.stats().requests, 0U);

    line.send(2'000'000, "#01RDO\r", 19200);
    line.runUntil(3'000'000);
    EXPECT_EQ(line.received(), ">00000000\r");
}

TEST(SimulatorCoreTest, RequestDuringTheAnswerWithinTheDeadlineIsAnOverlap) {
    Line line(Still());
    line.send(0, "#01RCT\r");       // answer goes out until 76 ms
    line.send(40'000, "#01RDO\r");  // master did not wait: overlap
    line.runUntil(1'000'000);
    EXPECT_EQ(line.core.stats().overlaps, 1U);
    // Half duplex: the second answer follows the first, whole.
    EXPECT_EQ(line.received(), kCounters + ">00000000\r");
}

TEST(SimulatorCoreTest, RequestAfterTheAnswerOrAfterTheDeadlineIsNoOverlap) {
    Line line(Still());
    line.send(0, "#01RCT\r");
    line.send(80'000, "#01RDO\r");  // answer complete at 76 ms
    EXPECT_EQ(line.core.stats().overlaps, 0U);

    SimOptions slow = Still();
    slow.delayMs = 500;
    Line late(slow);
    late.send(0, "#01RCT\r");
    late.send(300'000, "#01RDO\r");  // master timed out: it may send again
    EXPECT_EQ(late.core.stats().overlaps, 0U);
}

TEST(SimulatorCoreTest, DroppedRequestIsCountedAndNotAnswered) {
    SimOptions options = Still();
    options.dropProbability = 1.0;
    Line line(options);
    line.send(0, "#01RCT\r");
    line.send(10'000, "#01RDO\r");  // nothing is going out, so no overlap
    line.runUntil(1'000'000);
    EXPECT_TRUE(line.chunks.empty());
    EXPECT_EQ(line.core.stats().dropped, 2U);
    EXPECT_EQ(line.core.stats().answers, 0U);
    EXPECT_EQ(line.core.stats().overlaps, 0U);
}

TEST(SimulatorCoreTest, GarbledAnswerKeepsItsLengthButNotItsBytes) {
    SimOptions options = Still();
    options.garbleProbability = 1.0;
    Line line(options);
    line.send(0, "#01RCT\r");
    line.runUntil(1'000'000);
    EXPECT_EQ(line.received().size(), kCounters.size());
    EXPECT_NE(line.received(), kCounters);
    EXPECT_EQ(line.core.stats().garbled, 1U);
}

TEST(SimulatorCoreTest, SplitAnswerArrivesWholeInPiecesWithGaps) {
    SimOptions options = Still();
    options.split = true;
    Line line(options);
    line.send(0, "#01RCT\r", 115200);
    line.runUntil(1'000'000);
    EXPECT_EQ(line.received(), kCounters);
    int gaps = 0;
    for (std::size_t i = 1; i < line.chunks.size(); ++i)
        if (line.chunks[i].timeUs - line.chunks[i - 1].timeUs >= 10'000) ++gaps;
    EXPECT_GE(gaps, 1);
    EXPECT_LE(gaps, 2);
    EXPECT_EQ(line.core.stats().split, 1U);
}

TEST(SimulatorCoreTest, NoiseComesOnTheIdleLineAndNotWhenTheMasterTalks) {
    SimOptions options = Still();
    options.noise = true;
    Line line(options);
    line.send(0, "#01RDO\r");
    line.runUntil(2'000'000);
    ASSERT_GT(line.received().size(), std::string(">00000000\r").size());
    EXPECT_EQ(line.received().substr(0, 10), ">00000000\r");
    EXPECT_GE(line.chunks.back().timeUs, 120'000);
    EXPECT_EQ(line.core.stats().noise, 1U);

    Line busy(options);
    busy.send(0, "#01RDO\r");
    busy.send(30'000, "#01RDO\r");  // right after the first answer
    busy.runUntil(60'000);
    EXPECT_EQ(busy.received(), ">00000000\r>00000000\r");
}

TEST(SimulatorCoreTest, SameSeedAndRequestsGiveTheSameAnswersWithFaults) {
    SimOptions options;
    options.seed = 99;
    options.dropProbability = 0.3;
    options.garbleProbability = 0.3;
    options.split = true;
    const auto run = [&options] {
        Line line(options);
        for (int i = 0; i < 40; ++i) {
            const std::int64_t at = i * 500'000LL;
            line.send(at, i % 3 == 0   ? std::string("#01RCT\r")
                          : i % 3 == 1 ? std::string(":010200080008ED\r\n")
                                       : HexToBytes("010300000020"
                                                    "4412"));
        }
        line.runUntil(40 * 500'000LL);
        std::string trace;
        for (const auto& chunk : line.chunks)
            trace += std::to_string(chunk.timeUs) + chunk.bytes;
        return trace;
    };
    const std::string first = run();
    EXPECT_EQ(first, run());
    options.seed = 100;
    EXPECT_NE(first, run());
}

TEST(SimulatorCoreTest, GarbageNeverStopsTheModule) {
    Line line(Still());
    SeededRandom random(5);
    std::int64_t at = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string bytes;
        const auto length = random.between(1, 40);
        for (std::int64_t j = 0; j < length; ++j)
            bytes += static_cast<char>(random.between(0, 255));
        at += random.between(0, 5000);
        line.send(at, bytes, static_cast<int>(random.between(0, 1)) ? 9600 : 0);
    }
    line.runUntil(at + 2'000'000);
    line.chunks.clear();
    line.send(at + 3'000'000, "#01RDO\r");
    line.runUntil(at + 4'000'000);
    EXPECT_EQ(line.received().substr(0, 1), ">");
}

TEST(SimulatorCoreTest, StatsJsonCarriesCountsAndState) {
    Line line(Still());
    line.send(0, "#01WDO12345678,10000001\r");
    line.send(100'000, "#02RCT\r");
    const std::string json = line.core.statsJson();
    EXPECT_NE(json.find("\"requests\": 2"), std::string::npos) << json;
    EXPECT_NE(json.find("\"other_station\": 1"), std::string::npos) << json;
    EXPECT_NE(json.find("\"overlaps\": 0"), std::string::npos) << json;
    EXPECT_NE(json.find("\"outputs\": \"10000001\""), std::string::npos) << json;
    EXPECT_TRUE(line.core.takeChanged());
    EXPECT_FALSE(line.core.takeChanged());
}

}  // namespace
}  // namespace tally::sim
