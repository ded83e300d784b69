// A poll engine on a fake port, a fake clock and hand-fired timers; the rig stands in for
// the window. At every write it checks that the request before was settled (decoded or
// timed out), at every decode that PollStep's units digit is still the one sent.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "engine/fake_clock.h"
#include "engine/main_state.h"
#include "engine/manual_timer.h"
#include "engine/poll_engine.h"
#include "serial/fake_serial_component.h"

namespace tally::testing {

using Strings = std::vector<std::string>;
using Steps = std::vector<int>;

class WatchedPort : public FakeSerialComponent {
  public:
    void Output(const std::string& bytes) override {
        if (onWrite) onWrite();
        FakeSerialComponent::Output(bytes);
    }
    std::function<void()> onWrite;
};

class Rig : public PollHost {
  public:
    Rig() {
        port.SetPortOpen(true);
        state.StationHex = "01";
        clock.Set(45000, 12 * 3600.0);
        tmrRead.onTick = [this] { engine.tmrRead_Timer(); };
        tmrNow.onTick = [this] { engine.tmrNow_Timer(); };
        port.onWrite = [this] {
            EXPECT_EQ(settled(), requests) << "a write while request " << requests << " is open";
            ++requests;
            unitsInFlight = state.PollStep % 10;
        };
        onDecode = [this] { checkUnits(); };
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
        decodedSteps.push_back(state.PollStep);
        decodedReplies.push_back(state.RxBuffer);
        if (onDecode) onDecode();
    }
    void ClearBusyMarkers() override { ++busyClears; }
    int CounterSelectorNumber() const override { return counterSelector; }
    void PortFailed(const std::string& reason) override {
        failures.push_back(reason);
        lineOpen = readTicked = false;
    }

    int settled() const {
        return static_cast<int>(decodedSteps.size() +
                                std::count(statuses.begin(), statuses.end(), "Time Out"));
    }
    void checkUnits() { EXPECT_EQ(state.PollStep % 10, unitsInFlight) << "units digit changed"; }
    std::string lastStatus() const { return statuses.empty() ? "" : statuses.back(); }

    void tickRead(int seconds) {
        readTicked = true;
        engine.ReadTicked(seconds);
    }
    void replyTick() {
        clock.Advance(0.04);
        tmrRead.Fire();
    }
    void answer(const std::string& reply) {
        port.Receive(reply);
        replyTick();
    }
    // Reply ticks with nothing new until the engine stops waiting, or `most` of them.
    int replyTicks(int most = 100) {
        int ticks = 0;
        for (; tmrRead.Enabled() && ticks < most; ++ticks)
            replyTick();
        return ticks;
    }
    void queueCommand(int kind, const std::string& frame) {
        state.PendingCommand = static_cast<std::int16_t>(kind);
        state.PendingFrame = frame;
        engine.Dispatch();
    }

    bool lineOpen = true, readTicked = false;
    std::array<int, 3> boxes{};  // DC, DI, DO
    int counterSelector = 0, busyClears = 0, unticks = 0, requests = 0, unitsInFlight = 0;
    Strings statuses, decodedReplies, failures;
    Steps decodedSteps;
    std::function<void()> onDecode;  // runs inside DecodeReply, as the enable dialog does

    MainState state;
    WatchedPort port;
    FakeClock clock;
    ManualTimer tmrRead{40}, tmrNow{0};
    PollEngine engine{state, port, clock, tmrRead, tmrNow, *this};
};

class EngineTest : public ::testing::Test, public Rig {};

inline const std::string kCounterReply = ">00000010,0000000A,FFFFFFFF\r";
inline const std::string kInputReply = ">0000000010000001\r";

}  // namespace tally::testing
