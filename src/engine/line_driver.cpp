#include "engine/line_driver.h"

namespace tally {

LineDriver::LineDriver(MainState& state, SerialComponent& port, Clock& clock, TimerFactory& timers,
                       PollHost& host)
    : port_(port),
      tmrRead_(timers.Create(40)),
      tmrNow_(timers.Create(995)),
      tmrProbe_(timers.Create(1)),
      tmrQuiet_(timers.Create(1)) {
    tmrRead_->SetEnabled(false);
    tmrNow_->SetEnabled(false);
    engine_ = std::make_unique<PollEngine>(state, port_, clock, *tmrRead_, *tmrNow_, host);
    tmrRead_->onTick = [this] { engine_->tmrRead_Timer(); };
    tmrNow_->onTick = [this] { engine_->tmrNow_Timer(); };
    engine_->SetProbeTimer(*tmrProbe_);
    engine_->SetQuietTimer(*tmrQuiet_);
    // A reply is looked at as soon as its bytes arrive, not only on the reply tick.
    port_.onBytesArrived = [this] { engine_->BytesArrived(); };
}

LineDriver::~LineDriver() {
    port_.onBytesArrived = nullptr;
    for (Timer* timer : {tmrRead_.get(), tmrNow_.get(), tmrProbe_.get(), tmrQuiet_.get()}) {
        timer->SetEnabled(false);
        timer->onTick = nullptr;
    }
}

}  // namespace tally
