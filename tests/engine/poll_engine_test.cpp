#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/poll_engine.h"
#include "fake_clock.h"
#include "fake_serial_component.h"
#include "manual_timer.h"
#include "protocol/frames.h"

namespace tally::testing {
namespace {

using Strings = std::vector<std::string>;

// Window, line and listener: a write needs the request before settled, a decode its units digit.
class Rig : public PollHost, public FakeSerialComponent, public LineListener {
  public:
    Rig() {
        port.SetPortOpen(true);
        engine.SetProbeTimer(tmrProbe);
        state.StationHex = "01";
        tmrRead.onTick = [this] { engine.tmrRead_Timer(); };
        tmrNow.onTick = [this] { engine.tmrNow_Timer(); };
        port.onBytesArrived = [this] { engine.BytesArrived(); };
        engine.Events().Add(this);
    }

    void Output(const std::string& bytes) override {
        EXPECT_EQ(settled, requests) << "a write while request " << requests << " is open";
        unitsInFlight = state.PollStep % 10;
        writeTimes.push_back(clock.MonotonicMicros());
        FakeSerialComponent::Output(bytes);
    }
    void OnLineEvent(const LineEvent& event) override {
        events.push_back(event);
        requests += event.type == LineEvent::Type::Request;
        settled += event.type == LineEvent::Type::Outcome;
        lateReplies += event.type == LineEvent::Type::LateReply;
        if (event.type == LineEvent::Type::Request) askedStations += std::to_string(event.station);
    }

    bool LineOpen() const override { return lineOpen; }
    bool ReadTicked() const override { return readTicked; }
    void UntickRead() override {
        readTicked = false;
        ++unticks;
    }
    int ReadBoxValue(ReadKind kind) const override { return boxes[static_cast<int>(kind)]; }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void DecodeReply() override {
        EXPECT_EQ(state.PollStep % 10, unitsInFlight) << "units digit changed";
        decodedReplies.push_back(state.RxBuffer);
        if (onDecode) onDecode();
    }
    void ApplyStationReply(int station, const ReplyMeaning& meaning) override {
        appliedStations += std::to_string(station);
        PollHost::ApplyStationReply(station, meaning);
    }
    void ClearBusyMarkers() override {}
    int CounterSelectorNumber() const override { return 0; }
    void PortFailed(const std::string&) override { lineOpen = readTicked = false; }

    void tickRead(int seconds) {
        readTicked = true;
        engine.ReadTicked(seconds);
    }
    void setLine(const char* settings) {
        port.SetPortOpen(false);
        port.SetSettings(settings);
        port.SetPortOpen(true);
    }
    double untilDeadline() const {
        return static_cast<double>(state.ReplyDeadline - clock.MonotonicMicros()) / 1e6;
    }
    // One reply tick, 40 ms on, with what the device sent meanwhile.
    void answer(const std::string& reply = "") {
        port.Receive(reply);
        clock.Advance(0.04);
        tmrRead.Fire();
    }
    // Reply ticks with nothing new until the engine stops waiting, or `most` of them.
    int replyTicks(int most = 100) {
        int ticks = 0;
        for (; tmrRead.Enabled() && ticks < most; ++ticks)
            answer();
        return ticks;
    }
    // Fires a one-shot timer on time, as often as it is restarted.
    void runOut(ManualTimer& timer) {
        for (int ticks = 0; timer.Enabled() && ticks < 100; ++ticks) {
            clock.Advance(timer.Interval() / 1000.0);
            timer.Fire();
        }
    }
    const LineEvent& lastOutcome() const {
        return *std::find_if(events.rbegin(), events.rend(),
                             [](const LineEvent& e) { return e.type == LineEvent::Type::Outcome; });
    }
    void queueCommand(int kind, const std::string& frame) {
        state.PendingCommand = static_cast<std::int16_t>(kind);
        state.PendingFrame = frame;
        engine.Dispatch();
    }

    bool lineOpen = true, readTicked = false;
    std::array<int, 3> boxes{};  // DC, DI, DO
    int unticks = 0, requests = 0, settled = 0, lateReplies = 0, unitsInFlight = 0;
    Strings statuses, decodedReplies;
    std::string askedStations, appliedStations;
    std::vector<LineEvent> events;
    std::vector<std::int64_t> writeTimes;
    std::function<void()> onDecode;  // runs inside DecodeReply, as the enable dialog does
    MainState state;
    FakeSerialComponent& port = *this;
    FakeClock clock;
    ManualTimer tmrRead{40}, tmrNow{0}, tmrProbe;
    PollEngine engine{state, port, clock, tmrRead, tmrNow, *this};
};

class EngineTest : public ::testing::Test, public Rig {};
using PollCycle = EngineTest;
using CommandDispatch = EngineTest;

const std::string kCounterReply = ">00000010,0000000A,FFFFFFFF,0,0,0,0,0\r";
const std::string kInputReply = ">0000000010000001\r";

TEST_F(PollCycle, TimeoutOnTimeAcrossMidnightAndAWallClockStepEndsTheCycleAndTheNextReadsEachBox) {
    boxes = {1, 1, 1};
    setLine("1200,n,8,1");
    port.Receive("late junk\r");
    clock.Set(45000, 86400.0 - 0.1);
    tickRead(60);
    clock.StepWall(-3600.0);  // daylight saving ends while the read is out
    // 0.3 s and 80 ten-bit characters at 1200 baud: 0.96 s is in time, 1.00 s is late.
    EXPECT_EQ(replyTicks(), 25);
    tmrNow.Fire();
    answer(kCounterReply);
    boxes[2] = 0;  // DO unticked while the input read is on the line
    answer(kInputReply);
    EXPECT_EQ(decodedReplies, (Strings{kCounterReply, kInputReply})) << "old input is flushed";
    EXPECT_EQ(statuses, (Strings{"Read Value", "Read DC", "Time Out", "Read Value", "Read DC",
                                 "Read OK", "Read DI", "Read OK"}));
    readTicked = false;
    tmrNow.Fire();
    EXPECT_FALSE(tmrNow.Enabled()) << "a cycle tick with Read unticked stops the timer";
    EXPECT_EQ(port.writes, (Strings{"#01RCT\r", "#01RCT\r", "#01RDI\r"}));
}

TEST(PollCycleReply, IsDecidedOnTheTickItCompletesUpToAndOnTheDeadlineTick) {
    const std::string rtu = ModbusRtuFrame("010340" + std::string(128, '0'));
    const std::string ex = ModbusRtuFrame("018302");
    const struct {
        int protocol;
        Strings pieces;  // one per reply tick
        bool lastOnDeadline;
        std::string status;
    } rows[] = {
        {0, {">0010,000A,", "FFFF,0,0,", "0,0,0\r"}, false, "Read OK"},
        {0, {">1,2,3,4,5,6,7,8\r"}, true, "Read OK"},
        {0, {">0001"}, true, "Time Out"},
        {0, {">0001\r"}, false, "Bad Reply"},
        // RTU ends at its length: 3 + 64 + 2 bytes, an exception at 5.
        {2, {rtu.substr(0, 40), rtu.substr(40)}, false, "Read OK"},
        {2, {ex.substr(0, 2), ex.substr(2)}, false, "Exception 02 Illegal Data Address"},
        {2, {rtu.substr(0, 68)}, true, "Time Out"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Rig r;
        r.state.ProtocolIndex = static_cast<std::int16_t>(row.protocol);
        r.boxes = {1, 0, 0};
        r.tickRead(5);
        for (std::size_t i = 0; i + 1 < row.pieces.size(); ++i)
            r.answer(row.pieces[i]);
        EXPECT_TRUE(r.decodedReplies.empty());
        r.port.Receive(row.pieces.back());
        r.clock.Advance(row.lastOnDeadline ? r.untilDeadline() : 0.04);
        ASSERT_EQ(r.state.ReplyDeadline <= r.clock.MonotonicMicros(), row.lastOnDeadline);
        r.tmrRead.Fire();
        EXPECT_EQ(r.statuses.back(), row.status) << "decided on that tick";
        r.replyTicks();
        EXPECT_EQ(r.decodedReplies.size(), row.status == "Read OK" ? 1u : 0u);
        EXPECT_EQ(r.state.PollStep, 0) << "the cycle ends either way";
    }
}

TEST_F(CommandDispatch, CommandWaitingAtASingleReadsTimeoutIsStillSentThenTheCycleEnds) {
    boxes = {1, 1, 0};
    tickRead(-3);  // below 0 s reads once, as 0 s does
    queueCommand(3, "#01WDO1,1\r");
    port.Receive(">0000");
    replyTicks(10);
    EXPECT_EQ(state.PollStep, 113) << "timeout adds 100 to the counter read, then the command";
    EXPECT_EQ(unticks, 1) << "a single read that timed out unticks Read";
    answer("DO>OK\r");
    EXPECT_EQ(decodedReplies, Strings{"DO>OK\r"}) << "the partial reply is dropped";
    EXPECT_EQ(port.writes, (Strings{"#01RCT\r", "#01WDO1,1\r"})) << "no input read after it";
    EXPECT_FALSE(tmrNow.Enabled()) << "nor a next cycle";
}

// Everything that can happen between two ticks, the enable dialog inside the decoder too.
TEST(OneRequestRandom, NoInterleavingPutsTwoRequestsOnTheLineOrStopsReading) {
    const std::string kReplies[] = {kCounterReply, "CCT>OK\r", "DO>OK\r", "OK\r", "OK"};
    for (unsigned seed = 1; seed <= 300 && !::testing::Test::HasFailure(); ++seed) {
        SCOPED_TRACE(seed);
        Rig r;
        std::mt19937 random(seed);
        auto chance = [&](unsigned percent) { return random() % 100 < percent; };
        r.boxes = {chance(60), chance(60), chance(60)};
        r.onDecode = [&] {
            if (!chance(30)) return;
            const bool wasTicked = r.readTicked;
            r.UntickRead();
            if (chance(50)) r.engine.tmrNow_Timer();
            if (chance(30)) r.queueCommand(1 + chance(50), "#01CCT0\r");
            if (wasTicked) r.tickRead(chance(50) ? 0 : 1);
        };
        const std::function<void()> actions[] = {
            [&] { r.tmrNow.Fire(); },
            [&] { r.engine.tmrNow_Timer(); },  // a tick already queued
            [&] { r.readTicked = false; },
            [&] { r.tickRead(chance(50) ? 0 : 1); },
            [&] { r.queueCommand(3, "#01WDO0,FF\r"); },
            [&] { r.port.Receive(kReplies[random() % 5]); },
            [&] { r.boxes[random() % 3] ^= 1; },
            [&] { r.clock.Advance(chance(10) ? 1.0 : 0.3); },
            [&] { r.answer(); }};
        for (int step = 0; step < 200 && !::testing::Test::HasFailure(); ++step) {
            actions[std::min<unsigned>(random() % 11, 8)]();
            EXPECT_TRUE(r.tmrRead.Enabled() || r.settled == r.requests) << "open, timer off";
        }
        // Whatever state that left, a single read ticked now still happens once.
        r.onDecode = nullptr;
        r.boxes = {1, 0, 0};
        r.tickRead(0);
        for (int i = 0; i < 200 && r.tmrRead.Enabled(); ++i)
            r.answer(r.port.writes.back() == "#01RCT\r" ? kCounterReply : "OK\r");
        EXPECT_EQ(r.port.writes.back(), "#01RCT\r");
        EXPECT_EQ(r.state.PollStep, 1000) << "and Read unticked";
    }
}

TEST_F(PollCycle, RtuTailAfterAReplyNeverReachesTheNextAndABadReplyHoldsTheLineUntilQuiet) {
    state.ProtocolIndex = 2;
    boxes = {0, 1, 0};
    const std::string inputs = ModbusRtuFrame("01020105"), write = ModbusRtuFrame("01050000FF00");
    for (const std::string tail : {"", "\xAA\xBB"}) {
        port.Receive(tail);  // late, while nothing is on the line
        tickRead(0);
        port.Arrive(inputs);  // judged on arrival, before any tick
    }
    EXPECT_EQ(decodedReplies, (Strings{inputs, inputs}));
    // A broken answer's rest may still come: the command behind it waits for 0.1 s of quiet.
    const std::pair<std::string, const char*> broken[] = {
        {inputs.substr(0, 3) + '\x04' + inputs.substr(4), "Checksum Error"},
        {ModbusRtuFrame("02020105"), "Bad Reply"},  // well formed, from another station
    };
    for (const auto& [reply, status] : broken) {
        tickRead(0);
        queueCommand(3, write);
        port.Arrive(reply);
        EXPECT_EQ(statuses.back(), status);
        answer("\x07");
        replyTicks(2);
        EXPECT_NE(port.writes.back(), write) << status << ": not before 0.1 s of quiet line";
        answer();
        EXPECT_EQ(port.writes.back(), write) << status << ": on the third quiet tick";
        port.Arrive(write);  // the echo that acknowledges it
        port.writes.clear();
    }
}

TEST_F(PollCycle, EachRtuRequestWaitsThreeAndAHalfCharactersAfterTheLastByteAndNoLonger) {
    ManualTimer tmrQuiet;
    engine.SetQuietTimer(tmrQuiet);
    boxes = {0, 1, 1};
    const std::string rtuInputs = ModbusRtuFrame("01020105");
    // Line settings, protocol, extra pause (ms), the quiet expected after the last byte (us).
    const std::tuple<const char*, int, int, std::int64_t> rows[] = {
        {"19200,n,8,1", 2, 0, 2006}, {"1200,n,8,1", 2, 0, 32084}, {"57600,n,8,1", 2, 0, 1750},
        {"19200,n,8,1", 0, 0, 0},    {"19200,n,8,1", 2, 5, 7006}, {"19200,n,8,1", 0, 5, 5000}};
    for (const auto& [settings, protocol, pauseMs, quiet] : rows) {
        SCOPED_TRACE(std::string(settings) + " protocol " + std::to_string(protocol));
        setLine(settings);
        state.ProtocolIndex = static_cast<std::int16_t>(protocol);
        engine.SetPauseMillis(pauseMs);
        clock.Advance(1.0);
        clock.pausedMicros = 0;
        tickRead(0);
        ASSERT_EQ(writeTimes.back(), clock.MonotonicMicros()) << "a quiet line: at once";
        // The port looks for the reply only after the module can know the request ended.
        EXPECT_EQ(port.expectedReply.second, protocol == 2 ? quiet - pauseMs * 1000 : 0);
        const std::string inputs = protocol == 2 ? rtuInputs : kInputReply;
        clock.Advance(0.1);  // well after the request has left the wire
        std::int64_t last = clock.MonotonicMicros();
        port.Arrive(inputs);
        if (tmrQuiet.Enabled()) {  // a long wait: a stray byte meanwhile restarts it
            EXPECT_TRUE(engine.LineBusy());
            clock.Advance(0.0004);
            last = clock.MonotonicMicros();
            port.Arrive(std::string("\0", 1));
        }
        runOut(tmrQuiet);
        EXPECT_EQ(writeTimes.back() - last, quiet);
        EXPECT_LE(clock.pausedMicros, 3000) << "the bulk of a long wait is the timer's";
        // After a timeout the silence has long passed.
        replyTicks();
        tickRead(0);
        EXPECT_EQ(writeTimes.back(), clock.MonotonicMicros());
        port.Arrive(inputs);
        runOut(tmrQuiet);
        port.Arrive(protocol == 2 ? ModbusRtuFrame("01010105") : kInputReply);
    }
}

// Beside the window's own station: commands, the list and replies keep their stations.
TEST_F(PollCycle, ACommandBetweenOtherStationsReadsAndAListChangedMidCycleKeepTheirStations) {
    engine.SetStations({1, 5});
    boxes = {1, 0, 0};
    tickRead(1);
    answer(kCounterReply);
    queueCommand(3, "#01WDO1,1\r");  // built for station 1 while station 5 is read
    engine.SetStations({1, 7});
    answer(kCounterReply);
    answer("DO>OK\r");
    tmrNow.Fire();
    answer(kCounterReply);
    answer(kCounterReply);
    EXPECT_EQ(port.writes,
              (Strings{"#01RCT\r", "#05RCT\r", "#01WDO1,1\r", "#01RCT\r", "#07RCT\r"}));
    EXPECT_EQ(askedStations, "15117");
    EXPECT_EQ(appliedStations, "15117");

    // Between cycles, "Read" off: a command alone reads no station after it.
    readTicked = false;
    replyTicks();
    port.writes.clear();
    engine.SetStations({1, 5});
    queueCommand(3, "#01WDO1,0\r");
    answer("DO>OK\r");
    EXPECT_EQ(port.writes, Strings{"#01WDO1,0\r"});
    EXPECT_FALSE(tmrRead.Enabled());
}

TEST_F(EngineTest, AnEnableWriteAnswerStillComingAtTheCheckHoldsTheLineUntilQuiet) {
    onDecode = [this] {
        if (state.PollStep % 10 != 4) return;
        onDecode = nullptr;
        ASSERT_TRUE(engine.SendEnableWrite("#01WRTC0801FFF8\r"));
        clock.Advance(0.02);
        port.Arrive("RTC>O");
        clock.Advance(0.03);
        EXPECT_EQ(engine.EnableWriteOutcome(), Outcome::Of(OutcomeKind::TimeOut));
        EXPECT_FALSE(engine.SendEnableWrite("#01WRTC0801FFF8\r")) << "the module still talks";
    };
    boxes = {1, 0, 0};
    readTicked = true;
    queueCommand(4, "#01RRTC\r");
    answer("RTC>A5\r");
    EXPECT_TRUE(engine.LineBusy());
    engine.tmrNow_Timer();  // the next cycle is due
    clock.Advance(0.05);
    port.Arrive("K\r");
    EXPECT_EQ(lateReplies, 1);
    EXPECT_EQ(events.back().request, LineRequest::WriteEnable);
    EXPECT_EQ(events.back().bytes, "RTC>OK\r") << "the whole answer";
    replyTicks();
    EXPECT_EQ(port.writes, (Strings{"#01RRTC\r", "#01WRTC0801FFF8\r", "#01RCT\r"}));
    EXPECT_GE(writeTimes.back() - writeTimes[1], 200'000) << "0.1 s of quiet after the answer";
}

// Korvi answers name no station: a late one must not pass for the next station's.
TEST_F(PollCycle, AnAnswerStillComingAtItsDeadlineHoldsTheLineUntilQuietAndIsDroppedWhole) {
    engine.SetStations({1, 2});
    boxes = {1, 0, 0};
    tickRead(1);
    clock.Advance(untilDeadline() - 0.03);
    port.Receive(kCounterReply.substr(0, 12));  // the first piece, 30 ms before the deadline
    tmrRead.Fire();
    clock.Advance(0.03);
    tmrRead.Fire();
    EXPECT_EQ(lastOutcome().bytes, kCounterReply.substr(0, 12));
    EXPECT_EQ(statuses.back(), "Time Out");
    // The rest comes in two pieces, well past the deadline.
    for (const auto& [wait, piece] : {std::pair{0.06, kCounterReply.substr(12, 15)},
                                      std::pair{0.09, kCounterReply.substr(27)}}) {
        clock.Advance(wait);
        port.Arrive(piece);
        tmrRead.Fire();
        EXPECT_EQ(port.writes.size(), 1u) << "no request while the module talks";
        EXPECT_TRUE(engine.LineBusy());
    }
    const LineEvent late = events.back();
    ASSERT_EQ(late.type, LineEvent::Type::LateReply);
    EXPECT_EQ(late.bytes, kCounterReply) << "the whole answer, told once";
    EXPECT_TRUE(late.station == 1 && late.request == LineRequest::ReadCounters && !late.meaning);
    EXPECT_EQ(late.statusText, kLateReplyText);
    EXPECT_EQ(statuses.back(), "Time Out") << "the status line keeps the outcome";
    clock.Advance(0.099);
    tmrRead.Fire();
    EXPECT_EQ(port.writes.size(), 1u) << "not before 0.1 s of quiet";
    clock.Advance(0.001);
    tmrRead.Fire();
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.writes.back(), "#02RCT\r");
    const std::string second = ">00000002,0,0,0,0,0,0,0\r";
    port.Arrive(second);
    EXPECT_EQ(decodedReplies, Strings{second}) << "the late answer is never decoded";
    EXPECT_EQ(lateReplies, 1);
}

TEST_F(EngineTest, ATimeOutIsReportedAtItsDeadlineWhicheverTickOrClosingNoticedIt) {
    boxes = {0, 1, 0};
    const auto timeOut = [&](double afterDeadline, bool closing) {
        engine.LineOpened();
        tickRead(5);
        const std::int64_t wait = state.ReplyDeadline - clock.MonotonicMicros();
        clock.Advance(untilDeadline() + afterDeadline);
        closing ? engine.LineClosed() : static_cast<void>(tmrRead.Fire());
        EXPECT_EQ(lastOutcome().outcome, Outcome::Of(OutcomeKind::TimeOut));
        return lastOutcome().replyMs - static_cast<double>(wait) / 1000.0;
    };
    EXPECT_EQ(timeOut(0.025, false), 0.0) << "a tick 25 ms late";
    EXPECT_EQ(timeOut(0.030, true), 0.0) << "closed 30 ms after the deadline, before its tick";
    EXPECT_EQ(timeOut(-0.100, true), -100.0) << "cut off 100 ms before its deadline";
}

// Calls `on` with every line event.
struct Listener : LineListener {
    explicit Listener(std::function<void(const LineEvent&)> f) : on(std::move(f)) {}
    void OnLineEvent(const LineEvent& event) override { on(event); }
    std::function<void(const LineEvent&)> on;
};

Probe ProbeOf(Protocol protocol, int station) {
    const Bytes frame = ProbeFrame(protocol, station);
    return {9600, protocol, station, frame, ProbeWaitMicros(frame, protocol, 9600, 50)};
}

TEST_F(EngineTest, ProbeEndsAtItsWholeReplyOrExactlyAtItsWaitJudgedLikeEveryReply) {
    const struct {
        Protocol protocol;
        std::string reply;
        Outcome outcome;
        bool atOnce;              // ends when the reply is whole, not at the end of the wait
        std::string before = "";  // a late answer to the probe before, there when this one goes
    } rows[] = {
        {Protocol::ModbusRtu, ModbusRtuFrame("07010100"), Outcome::Ok(), true},
        {Protocol::ModbusRtu, ModbusRtuFrame("07010100").substr(0, 5) + "X",
         Outcome::Of(OutcomeKind::ChecksumError), false},
        {Protocol::Own, ">0000000\r", Outcome::Of(OutcomeKind::BadReply), false},
        {Protocol::Own, "", Outcome::Of(OutcomeKind::TimeOut), false, ">0000000000000011\r"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(BytesToHex(row.reply));
        events.clear();
        const Probe probe = ProbeOf(row.protocol, 7);
        port.Receive(row.before);
        engine.SendProbe(probe);
        EXPECT_THROW(engine.SendProbe(probe), SerialError) << "one request on the line";
        clock.Advance(0.003);
        port.Arrive(row.reply);
        runOut(tmrProbe);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[1].outcome, row.outcome);
        EXPECT_EQ(events[1].bytes, row.reply);
        const std::int64_t took = events[1].monoMicros - events[0].monoMicros;
        EXPECT_TRUE(row.atOnce ? took == 3000
                               : took >= probe.waitMicros && took < probe.waitMicros + 1000)
            << took;
    }
}

// The next probe goes out from inside the last one's Outcome, before later listeners see it.
TEST_F(EngineTest, EventsReachEveryListenerInTheOrderTheyHappenedWhateverAListenerAsks) {
    const Probe probe = ProbeOf(Protocol::Own, 7);
    int left = 2;
    std::string seen;
    Listener next([&](const LineEvent& e) {
        if (e.type == LineEvent::Type::Outcome && left-- > 0) engine.SendProbe(probe);
    });
    Listener monitor(
        [&](const LineEvent& e) { seen += e.type == LineEvent::Type::Request ? "TX " : "RX "; });
    engine.Events().Remove(this);
    engine.Events().Add(&next);
    engine.Events().Add(&monitor);
    engine.SendProbe(probe);
    runOut(tmrProbe);
    EXPECT_EQ(seen, "TX RX TX RX TX RX ");
}

}  // namespace
}  // namespace tally::testing
