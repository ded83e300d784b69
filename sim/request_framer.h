// Cuts the received byte stream into request frames.
//
// The first byte tells the protocol of each request, so the master can switch
// protocols without restarting the simulator: "#" starts an own-protocol frame
// ended by CR, ":" a Modbus ASCII frame ended by CR LF, anything else a Modbus
// RTU frame ended by 3.5 character times of silence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tally::sim {

struct ReceivedFrame {
    enum class Kind { Own, ModbusAscii, ModbusRtu, Junk };
    Kind kind = Kind::Junk;
    std::string bytes;
    std::int64_t startUs = 0;  // first byte received
    std::int64_t endUs = 0;    // last byte received
};

const char* FrameKindName(ReceivedFrame::Kind kind);

// True for a request that would change the module if it were addressed to it:
// outputs, counters or memory written (own WDO, CCT, WRTC; Modbus 05, 06, 0F, 10).
bool AsksToWrite(const ReceivedFrame& frame);

class RequestFramer {
  public:
    static constexpr std::size_t kMaxTextFrame = 600;
    static constexpr std::size_t kMaxRtuFrame = 256;
    // Modbus ASCII allows up to one second between characters of a frame.
    static constexpr std::int64_t kTextTimeoutUs = 1'000'000;

    // 3.5 character times at the line speed (11 bits a character), and the
    // standard's fixed 1.75 ms above 19200 baud.
    static std::int64_t RtuSilenceUs(int baud);

    void setBaud(int baud) { silenceUs = RtuSilenceUs(baud); }

    // Bytes received at nowUs; returns the frames they complete.
    std::vector<ReceivedFrame> feed(std::int64_t nowUs, std::string_view bytes);
    // Time passing with nothing received: ends an RTU frame after its silence and
    // gives up a text frame left unfinished for too long (returned as Junk).
    std::optional<ReceivedFrame> expire(std::int64_t nowUs);
    // When expire() next has something to do, if a frame is under way.
    std::optional<std::int64_t> nextExpiryUs() const;
    // True while a frame has started and not yet ended.
    bool receiving() const { return !current.bytes.empty(); }

  private:
    std::optional<ReceivedFrame> take(ReceivedFrame::Kind kind);

    ReceivedFrame current;
    bool overflow = false;
    std::int64_t silenceUs = RtuSilenceUs(19200);
};

}  // namespace tally::sim
