// A poll engine on a fake port, a fake clock, two hand-fired timers and a window
// stand-in that records what the engine asks of it.
#pragma once

#include <gtest/gtest.h>

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

// The fake port, with a look at every write as it happens.
class WatchedPort : public FakeSerialComponent {
  public:
    void Output(const std::string& bytes) override {
        if (onWrite) onWrite(bytes);
        FakeSerialComponent::Output(bytes);
    }
    std::function<void(const std::string&)> onWrite;
};

class FakeHost : public PollHost {
  public:
    explicit FakeHost(MainState& state) : state_(state) {}

    bool LineOpen() const override { return lineOpen; }
    bool ReadTicked() const override { return readTicked; }
    void UntickRead() override {
        readTicked = false;
        ++unticks;
    }
    int ReadBoxValue(ReadKind kind) const override { return boxes[static_cast<int>(kind)]; }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void DecodeReply() override {
        decodedSteps.push_back(state_.PollStep);
        decodedReplies.push_back(state_.RxBuffer);
        if (onDecode) onDecode();
    }
    void ClearBusyMarkers() override { ++busyClears; }
    int CounterSelectorNumber() const override { return counterSelector; }
    void PortFailed(const std::string& reason) override {
        failures.push_back(reason);
        lineOpen = false;
        readTicked = false;
    }

    std::string lastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }

    bool lineOpen = true;
    bool readTicked = false;
    std::array<int, 3> boxes{};  // DC, DI, DO
    int counterSelector = 0;
    std::vector<std::string> statuses;
    std::vector<int> decodedSteps;
    std::vector<std::string> decodedReplies;
    int busyClears = 0;
    int unticks = 0;
    std::vector<std::string> failures;
    // Runs inside DecodeReply, as the enable dialog does.
    std::function<void()> onDecode;

  private:
    MainState& state_;
};

class EngineTest : public ::testing::Test {
  protected:
    EngineTest() {
        port.SetPortOpen(true);
        state.StationHex = "01";
        clock.Set(45000, 12 * 3600.0);
        tmrRead.onTick = [this] { engine.tmrRead_Timer(); };
        tmrNow.onTick = [this] { engine.tmrNow_Timer(); };
    }

    void setBoxes(int dc, int di, int doBox) { host.boxes = {dc, di, doBox}; }

    // The operator ticks "Read" with this interval.
    void tickRead(int seconds) {
        host.readTicked = true;
        engine.ReadTicked(seconds);
    }

    // One 40 ms reply tick.
    void replyTick() {
        clock.Advance(0.04);
        tmrRead.Fire();
    }

    // The device answers at once; the next reply tick takes it.
    void answer(const std::string& reply) {
        port.Receive(reply);
        replyTick();
    }

    // No answer: reply ticks until the engine gives up. Returns the ticks taken.
    int noAnswer() {
        int ticks = 0;
        while (tmrRead.Enabled() && ticks < 100) {
            replyTick();
            ++ticks;
        }
        return ticks;
    }

    // No answer to the request on the line: the eight ticks until it times out.
    void letDeadlinePass() {
        for (int i = 0; i < 8; ++i)
            replyTick();
    }

    // A user command leaves its frame in the slot and asks for it to be sent.
    void queueCommand(int kind, const std::string& frame) {
        state.PendingCommand = static_cast<std::int16_t>(kind);
        state.PendingFrame = frame;
        engine.Dispatch();
    }

    std::vector<std::string>& writes() { return port.writes; }

    MainState state;
    WatchedPort port;
    FakeClock clock;
    ManualTimer tmrRead{40};
    ManualTimer tmrNow{0};
    FakeHost host{state};
    PollEngine engine{state, port, clock, tmrRead, tmrNow, host};
};

inline const std::string kCounterReply =
    ">00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r";
inline const std::string kInputReply = ">0000000010000001\r";
inline const std::string kOutputReply = ">10000001\r";

}  // namespace tally::testing
