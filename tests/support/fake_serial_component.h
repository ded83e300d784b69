// An in-memory serial port for tests: records every write, hands out queued
// received bytes, and fails on demand.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serial/serial_component.h"

namespace tally {

class FakeSerialComponent : public SerialComponent {
  public:
    void SetCommPort(std::int16_t port) override {
        if (open_) throw SerialError("port is open");
        commPort_ = port;
    }
    std::int16_t CommPort() const override { return commPort_; }
    void SetSettings(const std::string& settings) override {
        if (open_) throw SerialError("port is open");
        settings_ = settings;
    }
    std::string Settings() const override { return settings_; }
    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override {
        if (open && failOpen) throw SerialError(*failOpen);
        open_ = open;
    }
    void Output(const std::string& bytes) override {
        if (!open_) throw SerialError("port is closed");
        if (failOutput) throw SerialError(*failOutput);
        writes.push_back(bytes);
    }
    std::string Input() override {
        if (!open_) throw SerialError("port is closed");
        if (failInput) throw SerialError(*failInput);
        std::string out;
        out.swap(received);
        return out;
    }
    void ExpectReply(std::size_t characters, std::int64_t answerAfterMicros = 0) override {
        expectedReply = {characters, answerAfterMicros};
    }

    // Bytes the "device" has sent, waiting to be read.
    void Receive(const std::string& bytes) { received += bytes; }
    // The same, with the arrival told as a real port tells it.
    void Arrive(const std::string& bytes) {
        Receive(bytes);
        if (onBytesArrived) onBytesArrived();
    }
    // Everything written, one entry per Output call.
    std::vector<std::string> writes;
    std::string received;
    // The last ExpectReply: the characters awaited and how long the answer comes after.
    std::pair<std::size_t, std::int64_t> expectedReply{};
    // Set to make the operation raise SerialError with this reason.
    std::optional<std::string> failOpen;
    std::optional<std::string> failOutput;
    std::optional<std::string> failInput;

  private:
    std::int16_t commPort_ = 1;
    std::string settings_ = "9600,n,8,1";
    bool open_ = false;
};

}  // namespace tally
