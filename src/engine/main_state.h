// The run-time state of the main window.
//
// FrmMain inherits this, so every member is a member of the window under its
// own name; the poll engine works on the same object without knowing widgets.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tally {

struct MainState {
    // Tens: read of the poll cycle sent last (10 counters, 20 inputs, 30 outputs).
    // Units: kind of user command in flight (0 none, 1-4 as PendingCommand).
    // +100 after a timeout; 1000 after a single cycle has ended; 0 idle.
    std::int16_t PollStep = 0;
    // Waiting user command: 0 none, 1 clear, 2 preset, 3 outputs, 4 read enable flags,
    // 5 write enable flags (a headless run's; the window's dialog writes them directly).
    std::int16_t PendingCommand = 0;
    // Complete frame of the waiting command, envelope included.
    std::string PendingFrame;
    // Characters received since the last reply was handled.
    std::string RxBuffer;
    // Index k-1 = counter k.
    std::array<double, 8> CounterValue{};
    // Index k-1 = input k, 0 or 1.
    std::array<std::int16_t, 8> InputState{};
    // 1-8: outputs 1-8; 0: target of the waiting output write (1-8, 0 all off, 255 all on).
    std::array<std::int16_t, 9> OutputState{};
    // 1-8: enable flags; 0: channel the enable dialog is changing (1-8, 0 all off, 255 all on).
    std::array<std::int16_t, 9> CounterEnable{};
    // Seconds between cycles, 0-60; 0 reads once.
    std::int16_t AutoReadSeconds = 0;
    // Monotonic time (Clock::MonotonicMicros) from which the reply in flight is late.
    std::int64_t ReplyDeadline = 0;
    // Station as two upper-case hex digits, set when the port opens.
    std::string StationHex;
    // 0 own protocol, 1 Modbus ASCII, 2 Modbus RTU.
    std::int16_t ProtocolIndex = 0;
};

}  // namespace tally
