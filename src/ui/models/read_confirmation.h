// Which of the values on show the module has confirmed: each counter, input and
// output by the latest read of its kind, or by the acknowledgement of a command
// that set it.
//
// A value stays on show when nothing confirms it any more (the port was opened
// anew, its read failed, the station or the protocol changed), so the window can
// draw it as not live until a good read replaces it.
#pragma once

#include <array>
#include <cstddef>
#include <functional>

#include "engine/line_event.h"
#include "engine/poll_engine.h"

namespace tally {

class ReadConfirmation : public LineListener {
  public:
    // Whether the poll cycle reads `kind` (its box is ticked): a failed read gives up
    // the rest of its cycle, so the values of the reads after it are not confirmed either.
    explicit ReadConfirmation(std::function<bool(ReadKind)> cycleReads);

    // index 0-7 = channel 1-8.
    bool Confirmed(ReadKind kind, std::size_t index) const;
    void Set(ReadKind kind, std::size_t index, bool confirmed);
    void SetAll(ReadKind kind, bool confirmed);
    void ForgetAll();

    // Told after every change.
    std::function<void()> onChanged;

    // Opening and closing forget everything; a failed request forgets what it was
    // to read or set. A good reply is confirmed by whoever applies its values.
    void OnLineEvent(const LineEvent& event) override;

  private:
    void forgetFrom(ReadKind kind);
    void changed(bool any);

    std::function<bool(ReadKind)> cycleReads_;
    // By ReadKind, then channel.
    std::array<std::array<bool, 8>, 3> confirmed_{};
};

}  // namespace tally
