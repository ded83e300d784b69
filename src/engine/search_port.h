// The port as the module search holds it while the window is off line: opened
// at each rate in turn, probes written by the poll engine, the line's one owner.
#pragma once

#include "engine/module_search.h"
#include "engine/poll_engine.h"
#include "serial/serial_component.h"

namespace tally {

class SearchPort : public ProbeLine {
  public:
    SearchPort(SerialComponent& port, PollEngine& engine) : port_(port), engine_(engine) {}

    // The port number from the window's port field; 0 when that holds no number.
    void SetCommPort(int commPort) { commPort_ = commPort; }

    void OpenAt(int baud) override;
    void Close() override;
    void SendProbe(const Probe& probe) override;

  private:
    SerialComponent& port_;
    PollEngine& engine_;
    int commPort_ = 0;
};

}  // namespace tally
