// The serial port on a POSIX terminal device: the program's real line to the module.
// It owns the descriptor outright (open, termios settings, reads, writes, one read
// notifier); Qt Serial Port only lists the ports.
#pragma once

#include <QString>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "serial/port_resolver.h"
#include "serial/precise_timer.h"
#include "serial/serial_component.h"

class QObject;
class QSocketNotifier;

namespace tally {

// Ports as seen from this program: COM<n> entries in the executable's folder,
// then in the user's configuration folder.
PortEnvironment ApplicationPortEnvironment();

// A path from Qt as the standard library's path, whatever characters it holds.
std::filesystem::path FilesystemPath(const QString& path);

class PosixSerialPort : public SerialComponent {
  public:
    // How an awaited reply is watched for. The system would wake the program at
    // every character or USB hand-over that arrives, with nothing to report; so:
    enum class ReplyState {
        // Nothing awaited: the first byte that arrives is told.
        Idle,
        // A reply is awaited that cannot be whole yet (the request's and the
        // reply's time on the line): the port is not watched, a timer looks then.
        Unwatched,
        // A reply is awaited: the line's minimum read count (VMIN) is the characters
        // still to come, so the port turns readable once they are all there.
        Watching,
        // Bytes were told: not watched again until the listener reads them (Input).
        Told,
    };

    explicit PosixSerialPort(PortEnvironment env = ApplicationPortEnvironment());
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    void SetCommPort(std::int16_t port) override;
    std::int16_t CommPort() const override { return commPort_; }
    void SetSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }

    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override;

    void Output(const std::string& bytes) override;
    std::string Input() override;
    // A reply shorter on the line than a couple of milliseconds is watched for at
    // once; a longer one is left unwatched until it may be whole, then looked at:
    // told at once when whole, else watched for the characters still to come.
    void ExpectReply(std::size_t characters, std::int64_t answerAfterMicros = 0) override;

    // A device named directly (a path such as /dev/ttyUSB0) instead of a port
    // number; empty goes back to the number. Written only while closed.
    void SetDevicePath(const std::string& path);

    // The device the last open used or tried, e.g. "/dev/ttyUSB0"; empty before.
    std::string Device() const { return device_; }

    ReplyState State() const { return state_; }
    // The minimum read count set on the open line (what Watching waits for).
    unsigned ReadMinimum() const { return readMinimum_; }

  private:
    // Every change of the reply state goes through here: it sets the notifier and
    // the read count that the state stands for.
    void enter(ReplyState state);
    // The look timer: the reply may be whole now.
    void look();
    void readable();
    void tellLater();
    void setReadMinimum(std::size_t characters);

    void open();
    void close();
    // The line stopped working (errno of the failed call, 0 for an end of file):
    // the reason is kept for the next call and the descriptor closed.
    void fail(int error);
    void throwIfFailed() const;
    std::string openFailure(int error) const;

    PortEnvironment env_;
    std::int16_t commPort_ = 1;
    std::string settings_ = "9600,n,8,1";
    std::string device_;
    std::string devicePath_;
    int fd_ = -1;
    // Stays true after the line fails, until the program closes the port.
    bool open_ = false;
    std::optional<std::string> failure_;
    ReplyState state_ = ReplyState::Idle;
    // Characters of the awaited reply not yet read (0: none awaited).
    std::size_t awaited_ = 0;
    unsigned readMinimum_ = 0;
    // One character's time on the line (start, data, parity and stop bits).
    double characterMicros_ = 0.0;
    // The last request written and when; counted once, by the next ExpectReply.
    std::size_t sentCharacters_ = 0;
    std::chrono::steady_clock::time_point sentAt_;
    // Owns the queued "bytes arrived" calls: deleting it drops those not yet made.
    std::unique_ptr<QObject> context_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<PreciseTimer> lookTimer_;
    bool tellQueued_ = false;
};

}  // namespace tally
