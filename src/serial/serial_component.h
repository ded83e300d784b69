// The serial port as the program uses it: five operations and one optional event.
//
// Received data is fetched by polling (Input); a component may also say when
// bytes have arrived, so a reply can be looked at at once instead of at the next
// poll. Bytes travel one character per byte with every value 0-255 unchanged. Any failure is raised
// as SerialError; only the code that opens the port (and the engine, for a port that vanishes while
// in use) catches it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace tally {

class SerialError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class SerialComponent {
  public:
    virtual ~SerialComponent() = default;

    // Port number 1-16; written only while closed, before opening.
    virtual void SetCommPort(std::int16_t port) = 0;
    virtual std::int16_t CommPort() const = 0;
    // "<baud>,n,8,1"; written only while closed, before opening.
    virtual void SetSettings(const std::string& settings) = 0;
    virtual std::string Settings() const = 0;

    virtual bool PortOpen() const = 0;
    // true opens with CommPort and Settings (throws SerialError on failure); false closes.
    virtual void SetPortOpen(bool open) = 0;

    // Sends every character as one byte, in order.
    virtual void Output(const std::string& bytes) = 0;
    // Everything received since the previous call (may be empty), removed from the buffer.
    virtual std::string Input() = 0;

    // A hint: the reply now awaited is at most this many characters (0: none is
    // awaited). A component may then hold back onBytesArrived until that many
    // have come, rather than wake the program for every character; Input still
    // hands out whatever has arrived.
    // answerAfterMicros: the far end starts no sooner than this after the request
    // has left (Modbus RTU: the silence that tells it the request has ended).
    virtual void ExpectReply(std::size_t characters, std::int64_t answerAfterMicros = 0) {
        static_cast<void>(characters);
        static_cast<void>(answerAfterMicros);
    }

    // Called, when set, from the event loop soon after received bytes are waiting;
    // never from inside Input or Output. Optional: a component that never calls it
    // is only polled.
    std::function<void()> onBytesArrived;
};

}  // namespace tally
