#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "engine/module_search.h"
#include "fake_clock.h"
#include "serial/serial_component.h"

namespace tally::testing {
namespace {

std::string Where(const Probe& p) {
    return ProbeDescription(p.baud, p.protocol, p.station);
}
std::int64_t Waits(const std::vector<Probe>& plan, std::size_t from, std::size_t to) {
    return std::accumulate(plan.begin() + long(from), plan.begin() + long(to), std::int64_t{0},
                           [](std::int64_t sum, const Probe& p) { return sum + p.waitMicros; });
}

// Probes end when the test says: silence for the probe's whole wait, or a reply after 10 ms.
class FakeLine : public ProbeLine {
  public:
    void OpenAt(int baud) override {
        if (failOpen) throw SerialError("busy");
        opens.push_back(baud);
    }
    void Close() override { ++closes; }
    void SendProbe(const Probe& probe) override { sent.push_back(probe); }

    void end(ModuleSearch& search, const Outcome& outcome = Outcome::Of(OutcomeKind::TimeOut),
             const std::string& bytes = "") {
        const bool silent = outcome.kind == OutcomeKind::TimeOut;
        clock.Advance(silent ? double(sent.back().waitMicros) / 1e6 : 0.010);
        LineEvent event;
        event.type = LineEvent::Type::Outcome;
        event.request = LineRequest::Probe;
        event.bytes = bytes;
        event.outcome = outcome;
        event.replyMs = 10.0;
        search.OnLineEvent(event);
    }
    // Silence until the search ends or has sent the probe to `where`.
    void silenceUntil(ModuleSearch& search, const std::string& where) {
        while (search.Running() && Where(sent.back()) != where)
            end(search);
    }

    FakeClock clock;
    std::vector<int> opens;
    std::vector<Probe> sent;
    int closes = 0;
    bool failOpen = false;
};

TEST(SearchPlan, OrderAndWaits) {
    SearchChoices choices;  // every box ticked; 19200 and the own protocol in the window
    std::vector<Probe> plan = SearchPlan(choices);
    ASSERT_EQ(plan.size(), 752u);  // 8 rates of 32 Korvi stations and twice 31 Modbus ones

    // Request and reply at ten bits a character (17 at 19200 baud, 14 at 1200) + extra wait.
    EXPECT_EQ(plan[0].waitMicros, 8'854 + 50'000);
    EXPECT_EQ(plan.back().waitMicros, 116'666 + 50'000);

    // The window's rate and protocol first; only ticked boxes; ranges kept sane.
    choices.currentBaud = 4800;
    choices.currentProtocol = Protocol::ModbusRtu;
    choices.rates = {false, false, true, false, false, true, false, false};  // 4800, 19200
    choices.protocols = {true, false, true};
    choices.fromStation = 2;
    choices.toStation = 1;
    choices.extraWaitMs = 5;
    plan = SearchPlan(choices);
    std::string order;
    for (const Probe& p : plan)
        order += std::to_string(p.baud) + ProtocolCaption(p.protocol).substr(0, 1) +
                 std::to_string(p.station) + " ";
    EXPECT_EQ(order, "4800M1 4800M2 4800K1 4800K2 19200M1 19200M2 19200K1 19200K2 ");
    EXPECT_EQ(plan[0].waitMicros, 29'166 + 20'000);  // 14 characters at 4800 baud
    choices.extraWaitMs = 5000;
    EXPECT_EQ(SearchPlan(choices)[0].waitMicros, 29'166 + 1'000'000);
    choices.rates[2] = false;  // the window's rate unticked: not tried at all
    EXPECT_EQ(SearchPlan(choices).front().baud, 19200);
    choices.protocols = {false, true, true};
    choices.fromStation = choices.toStation = 0;
    EXPECT_TRUE(SearchPlan(choices).empty()) << "Modbus has no station 0 to ask";
}

TEST(SearchPlan, NothingToTryIsExplainedByWhatLeftItEmpty) {
    SearchChoices choices;
    EXPECT_EQ(NothingToSearchReason(choices), "");
    choices.protocols = {false, true, true};
    choices.fromStation = choices.toStation = 0;
    EXPECT_EQ(NothingToSearchReason(choices),
              "Modbus station 0 is the broadcast address, which no module answers: choose "
              "stations from 1, or tick Korvi");
    choices.rates.fill(false);
    EXPECT_EQ(NothingToSearchReason(choices), "Tick at least one baud rate");
    choices.protocols.fill(false);
    EXPECT_EQ(NothingToSearchReason(choices), "Tick at least one baud rate and one protocol");
    choices.rates[0] = true;
    EXPECT_EQ(NothingToSearchReason(choices), "Tick at least one protocol");
}

TEST(ModuleSearch, SilentLineRunsThePlanOnceWithOneOpenPerRateAndStopWaitsForTheProbeOnTheLine) {
    FakeLine line;
    ModuleSearch search(line, line.clock);
    ASSERT_TRUE(search.Start(SearchChoices{}));
    const std::vector<Probe> plan = SearchPlan(SearchChoices{});
    EXPECT_EQ(search.RemainingMicros(), Waits(plan, 0, 752));
    line.silenceUntil(search, "9600 baud, Korvi, station 0");
    EXPECT_EQ(search.Done(), 94);
    line.clock.Advance(0.5);  // the event loop was slow: the estimate grows with that pace
    EXPECT_GT(search.RemainingMicros(), Waits(plan, 94, 752));
    line.silenceUntil(search, "");
    EXPECT_EQ(line.opens, (std::vector<int>{19200, 9600, 57600, 28800, 14400, 4800, 2400, 1200}));
    ASSERT_EQ(line.sent.size(), plan.size());
    EXPECT_EQ(search.Done(), search.Total());
    EXPECT_EQ(search.ElapsedMicros(), Waits(plan, 0, 752) + 500'000);
    EXPECT_EQ(search.RemainingMicros(), 0);
    EXPECT_EQ(line.closes, 1);
    EXPECT_TRUE(search.Found().empty());

    // Stop lets the probe on the line end first; a port that will not open ends a search.
    search.Start(SearchChoices{});
    search.Stop();
    line.end(search);
    EXPECT_FALSE(search.Running());
    EXPECT_EQ(line.sent.size(), plan.size() + 1);
    EXPECT_EQ(line.closes, 2);
    line.failOpen = true;
    EXPECT_TRUE(search.Start(SearchChoices{}));
    EXPECT_FALSE(search.Running());
    EXPECT_EQ(search.Failure(), "busy");
}

TEST(ModuleSearch, OnlyAReplyThatPassesTwiceAlikeIsAModule) {
    const Outcome ok = Outcome::Ok(), exception = Outcome::ExceptionCode(1);
    const struct {
        Outcome first, second;
        const char* secondBytes;
        bool found;
    } rows[] = {{ok, ok, "A", true},
                {exception, exception, "A", true},
                {ok, Outcome::Of(OutcomeKind::ChecksumError), "A", false},
                {ok, ok, "B", false},
                {ok, Outcome::Of(OutcomeKind::TimeOut), "", false}};
    for (const auto& row : rows) {
        FakeLine line;
        ModuleSearch search(line, line.clock);
        SearchChoices choices;
        choices.rates = {false, false, false, true, false, false, false, false};
        choices.protocols = {false, false, true};
        search.Start(choices);
        line.silenceUntil(search, "9600 baud, Modbus RTU, station 7");
        line.end(search, row.first, "A");
        if (ProbeFound(row.first)) {
            ASSERT_EQ(Where(line.sent.back()), "9600 baud, Modbus RTU, station 7");
            line.end(search, row.second, row.secondBytes);
        }
        ASSERT_EQ(search.Found().size(), row.found ? 1u : 0u) << row.secondBytes;
        EXPECT_EQ(search.Running(), !row.found) << "stops at the first module";
        EXPECT_TRUE(!row.found || search.Found()[0].replyMs == 10.0);
    }
}

}  // namespace
}  // namespace tally::testing
