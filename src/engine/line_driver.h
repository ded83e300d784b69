// The poll engine with the timers and the port callbacks that drive it, wired
// once for the window and the headless run alike.
//
// tmrRead (the 40 ms reply tick), tmrNow (the cycle), tmrProbe (Find Module's
// probes) and tmrQuiet (the quiet before a request) call into the engine, and
// the port's "bytes arrived" has the reply looked at at once. The driver unhooks
// all of them before the engine goes, so no tick reaches a destroyed engine.
#pragma once

#include <memory>

#include "engine/clock.h"
#include "engine/main_state.h"
#include "engine/poll_engine.h"
#include "engine/timer.h"
#include "serial/serial_component.h"

namespace tally {

class LineDriver {
  public:
    LineDriver(MainState& state, SerialComponent& port, Clock& clock, TimerFactory& timers,
               PollHost& host);
    ~LineDriver();
    LineDriver(const LineDriver&) = delete;
    LineDriver& operator=(const LineDriver&) = delete;

    PollEngine& Engine() { return *engine_; }
    Timer& tmrRead() { return *tmrRead_; }
    Timer& tmrNow() { return *tmrNow_; }
    Timer& tmrProbe() { return *tmrProbe_; }
    Timer& tmrQuiet() { return *tmrQuiet_; }

  private:
    SerialComponent& port_;
    std::unique_ptr<Timer> tmrRead_;
    std::unique_ptr<Timer> tmrNow_;
    std::unique_ptr<Timer> tmrProbe_;
    std::unique_ptr<Timer> tmrQuiet_;
    std::unique_ptr<PollEngine> engine_;
};

}  // namespace tally
