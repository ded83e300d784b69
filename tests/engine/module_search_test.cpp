// Find Module: the order of the probes, their frames and waits, the confirmation
// of a reply, stopping, and the progress, on a fake clock and a fake line.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "engine/fake_clock.h"
#include "engine/module_search.h"
#include "serial/serial_component.h"

namespace tally::testing {
namespace {

constexpr Protocol kOwn = Protocol::Own;
constexpr Protocol kAscii = Protocol::ModbusAscii;
constexpr Protocol kRtu = Protocol::ModbusRtu;

std::string Where(int baud, Protocol protocol, int station) {
    return ProbeDescription(baud, protocol, station);
}

// Probes end when the test says; time passes by each probe's wait unless a reply came.
class FakeLine : public ProbeLine {
  public:
    void OpenAt(int baud) override {
        if (failOpen) throw SerialError("busy");
        opens.push_back(baud);
    }
    void Close() override { ++closes; }
    void SendProbe(const Probe& probe) override { sent.push_back(probe); }

    // The probe on the line ends: silence for its whole wait, or this reply after 10 ms.
    void end(ModuleSearch& search, const Outcome& outcome = Outcome::Of(OutcomeKind::TimeOut),
             const std::string& bytes = "") {
        clock.Advance(outcome.kind == OutcomeKind::TimeOut
                          ? static_cast<double>(sent.back().waitMicros) / 1e6
                          : 0.010);
        LineEvent event;
        event.type = LineEvent::Type::Outcome;
        event.request = LineRequest::Probe;
        event.outcome = outcome;
        event.bytes = bytes;
        event.replyMs = 10.0;
        search.OnLineEvent(event);
    }
    // Silence for every probe until the search ends or sends this one.
    void silenceUntil(ModuleSearch& search, const std::string& where) {
        while (search.Running() &&
               Where(sent.back().baud, sent.back().protocol, sent.back().station) != where)
            end(search);
    }

    FakeClock clock;
    std::vector<int> opens;
    std::vector<Probe> sent;
    int closes = 0;
    bool failOpen = false;
};

TEST(SearchPlan, OrderFramesAndWaits) {
    SearchChoices choices;  // every box ticked, 19200 and the own protocol in the window
    std::vector<Probe> plan = SearchPlan(choices);
    ASSERT_EQ(plan.size(), 752u);
    std::vector<std::string> blocks;  // one entry per run of one rate and protocol
    for (const Probe& p : plan) {
        const std::string block = std::to_string(p.baud) + " " + ProtocolCaption(p.protocol);
        if (blocks.empty() || blocks.back().rfind(block + ":", 0) != 0)
            blocks.push_back(block + ":" + std::to_string(p.station));
    }
    EXPECT_EQ(blocks.front(), "19200 Korvi:0");
    EXPECT_EQ(blocks[1], "19200 Modbus Ascii:1");  // station 0 is Modbus broadcast
    EXPECT_EQ(blocks[3], "9600 Korvi:0");
    EXPECT_EQ(blocks.size(), 24u);
    const int rates[] = {19200, 9600, 57600, 28800, 14400, 4800, 2400, 1200};
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(plan[static_cast<std::size_t>(r * 94)].baud, rates[r]);
    EXPECT_EQ(plan[0].frame, "#00RDO\r");
    EXPECT_EQ(plan[32].frame, ":010100000008F6\r\n");
    EXPECT_EQ(plan[63].frame, std::string("\x01\x01\x00\x00\x00\x08\x3D\xCC", 8));

    // Wire time of request and reply at ten bits a character, plus the extra wait.
    EXPECT_EQ(plan[0].waitMicros, (7 + 10) * 10'000'000LL / 19200 + 1 + 50'000);
    EXPECT_EQ(plan.back().waitMicros, (8 + 6) * 10'000'000LL / 1200 + 1 + 50'000);
    const auto total =
        std::accumulate(plan.begin(), plan.end(), std::int64_t{0},
                        [](std::int64_t sum, const Probe& p) { return sum + p.waitMicros; });
    EXPECT_LE(total, 72'000'000) << "no time left for the event loop within 75 s";
    const auto first2 =
        std::accumulate(plan.begin(), plan.begin() + 188, std::int64_t{0},
                        [](std::int64_t sum, const Probe& p) { return sum + p.waitMicros; });
    EXPECT_LE(first2, 13'000'000) << "19200 and 9600 must be done well within 15 s";

    // The window's rate and protocol first, only ticked boxes, ranges kept sane.
    choices.currentBaud = 4800;
    choices.currentProtocol = kRtu;
    choices.rates = {false, false, true, false, false, true, false, false};  // 4800, 19200
    choices.protocols = {true, false, true};
    choices.fromStation = 3;
    choices.toStation = 1;
    choices.extraWaitMs = 5;
    plan = SearchPlan(choices);
    std::vector<std::string> order;
    for (const Probe& p : plan)
        order.push_back(Where(p.baud, p.protocol, p.station));
    EXPECT_EQ(order, (std::vector<std::string>{
                         Where(4800, kRtu, 1), Where(4800, kRtu, 2), Where(4800, kRtu, 3),
                         Where(4800, kOwn, 1), Where(4800, kOwn, 2), Where(4800, kOwn, 3),
                         Where(19200, kRtu, 1), Where(19200, kRtu, 2), Where(19200, kRtu, 3),
                         Where(19200, kOwn, 1), Where(19200, kOwn, 2), Where(19200, kOwn, 3)}));
    EXPECT_EQ(plan[0].waitMicros, WireMicros(14, 4800) + 20'000);
    choices.extraWaitMs = 5000;
    EXPECT_EQ(SearchPlan(choices)[0].waitMicros, WireMicros(14, 4800) + 1'000'000);
    choices.rates[2] = false;  // the window's rate unticked: not tried at all
    EXPECT_EQ(SearchPlan(choices).front().baud, 19200);
    choices.protocols = {false, true, true};
    choices.fromStation = choices.toStation = 0;
    EXPECT_TRUE(SearchPlan(choices).empty()) << "Modbus has no station 0 to ask";
}

TEST(ModuleSearch, SilentLineRunsThePlanOnceWithOneOpenPerRate) {
    FakeLine line;
    ModuleSearch search(line, line.clock);
    ASSERT_TRUE(search.Start(SearchChoices{}));
    const std::int64_t planned = search.RemainingMicros();
    const std::vector<Probe> plan = SearchPlan(SearchChoices{});
    line.silenceUntil(search, Where(9600, kOwn, 0));
    EXPECT_EQ(search.Done(), 94);
    line.clock.Advance(1.0);  // the event loop was slow: the estimate follows
    const std::int64_t rest =
        std::accumulate(plan.begin() + 94, plan.end(), std::int64_t{0},
                        [](std::int64_t s, const Probe& p) { return s + p.waitMicros; });
    EXPECT_EQ(
        search.RemainingMicros(),
        std::int64_t(double(rest) * (double(search.ElapsedMicros()) / double(planned - rest))));
    line.silenceUntil(search, "");
    EXPECT_FALSE(search.Running());
    EXPECT_EQ(line.opens, (std::vector<int>{19200, 9600, 57600, 28800, 14400, 4800, 2400, 1200}));
    ASSERT_EQ(line.sent.size(), plan.size());
    for (std::size_t i = 0; i < plan.size(); ++i)
        ASSERT_EQ(line.sent[i].frame, plan[i].frame) << i;
    EXPECT_EQ(search.Done(), search.Total());
    EXPECT_EQ(search.ElapsedMicros(), planned + 1'000'000);
    EXPECT_EQ(search.RemainingMicros(), 0);
    EXPECT_EQ(line.closes, 1);
    EXPECT_TRUE(search.Found().empty());
    EXPECT_TRUE(search.Failure().empty());
}

TEST(ModuleSearch, OnlyAReplyThatPassesTwiceAlikeIsAModule) {
    const Outcome ok = Outcome::Ok();
    const Outcome exception = Outcome::ExceptionCode(1);
    const Outcome timeOut = Outcome::Of(OutcomeKind::TimeOut);
    const Outcome checksum = Outcome::Of(OutcomeKind::ChecksumError);
    const Outcome bad = Outcome::Of(OutcomeKind::BadReply);
    struct Row {
        Outcome first, second;
        std::string secondBytes;
        bool found;
    } rows[] = {
        {ok, ok, "A", true},   {exception, exception, "A", true}, {ok, checksum, "A", false},
        {ok, ok, "B", false},  {ok, timeOut, "", false},          {checksum, ok, "A", false},
        {bad, ok, "A", false},
    };
    for (const Row& row : rows) {
        FakeLine line;
        ModuleSearch search(line, line.clock);
        SearchChoices choices;
        choices.rates = {false, false, false, true, false, false, false, false};
        choices.protocols = {false, false, true};
        choices.stopAtFirst = true;
        search.Start(choices);
        line.silenceUntil(search, Where(9600, kRtu, 7));
        line.end(search, row.first, "A");
        const std::size_t sent = line.sent.size();
        if (ProbeFound(row.first)) {
            ASSERT_EQ(Where(line.sent.back().baud, kRtu, line.sent.back().station),
                      Where(9600, kRtu, 7))
                << "the same probe again";
            line.end(search, row.second, row.secondBytes);
        }
        EXPECT_EQ(search.Found().size(), row.found ? 1u : 0u) << sent;
        EXPECT_EQ(search.Running(), !row.found) << "stops at the first module";
        if (row.found) {
            EXPECT_EQ(search.Found()[0].replyMs, 10.0);
        }
    }
}

TEST(ModuleSearch, StopWaitsForTheProbeOnTheLineAndFailuresEndTheSearch) {
    FakeLine line;
    ModuleSearch search(line, line.clock);
    SearchChoices choices;
    choices.stopAtFirst = false;
    search.Start(choices);
    line.end(search, Outcome::Ok(), ">00000000\r");
    line.end(search, Outcome::Ok(), ">00000000\r");  // station 0 confirmed; the search goes on
    EXPECT_EQ(search.Found().size(), 1u);
    EXPECT_TRUE(search.Running());
    search.Stop();
    EXPECT_TRUE(search.Stopping());
    EXPECT_EQ(line.closes, 0) << "not under the probe in flight";
    const std::size_t sent = line.sent.size();
    line.end(search);
    EXPECT_FALSE(search.Running());
    EXPECT_EQ(line.sent.size(), sent);
    EXPECT_EQ(line.closes, 1);

    line.failOpen = true;
    EXPECT_TRUE(search.Start(choices));
    EXPECT_FALSE(search.Running());
    EXPECT_EQ(search.Failure(), "busy");
    EXPECT_EQ(line.closes, 2);
}

}  // namespace
}  // namespace tally::testing
