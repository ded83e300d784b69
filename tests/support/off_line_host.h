// A window that is off line: the engine never starts a poll cycle for it, so
// whatever it is asked to do waits in the command slot or runs without the line.
#pragma once

#include <string>

#include "engine/poll_engine.h"

namespace tally::testing {

class OffLineHost : public PollHost {
  public:
    bool LineOpen() const override { return false; }
    bool ReadTicked() const override { return false; }
    void UntickRead() override {}
    int ReadBoxValue(ReadKind) const override { return 0; }
    void ShowStatus(const std::string&) override {}
    void DecodeReply() override {}
    void ClearBusyMarkers() override {}
    int CounterSelectorNumber() const override { return 0; }
    void PortFailed(const std::string&) override {}
};

}  // namespace tally::testing
