// The serial port on QSerialPort: the program's real line to the module.
#pragma once

#include <QPointer>
#include <QString>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "serial/port_resolver.h"
#include "serial/precise_timer.h"
#include "serial/serial_component.h"

class QSerialPort;
class QSocketNotifier;

namespace tally {

// Ports as seen from this program: COM<n> entries in the executable's folder,
// then in the user's configuration folder.
PortEnvironment ApplicationPortEnvironment();

// A path from Qt as the standard library's path, whatever characters it holds.
std::filesystem::path FilesystemPath(const QString& path);

class QtSerialComponent : public SerialComponent {
  public:
    explicit QtSerialComponent(PortEnvironment env = ApplicationPortEnvironment());
    ~QtSerialComponent() override;
    QtSerialComponent(const QtSerialComponent&) = delete;
    QtSerialComponent& operator=(const QtSerialComponent&) = delete;

    void SetCommPort(std::int16_t port) override;
    std::int16_t CommPort() const override { return commPort_; }
    void SetSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }

    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override;

    void Output(const std::string& bytes) override;
    std::string Input() override;
    // The port is not watched until the reply may be whole (the request's and
    // that many characters' time on the line): the system would wake the program
    // at every character or every USB hand-over that arrives, even with nothing
    // to report. A reply whole by then is told at once; otherwise the line's
    // minimum read count (VMIN) is set to the characters still to come, so the
    // system reports the port readable as soon as they are there.
    void ExpectReply(std::size_t characters, std::int64_t answerAfterMicros = 0) override;

    // A device named directly (a path such as /dev/ttyUSB0) instead of a port
    // number; empty goes back to the number. Written only while closed.
    void SetDevicePath(const std::string& path);

    // The device the last open used or tried, e.g. "/dev/ttyUSB0"; empty before.
    std::string Device() const { return device_; }

  private:
    void applyReadMinimum(std::size_t characters);
    // The request just written: the awaited reply follows its time on the line.
    void noteSent(std::size_t characters);
    // The wire time of the awaited reply has passed: watch the port again.
    void replyMayBeWhole();
    // QSerialPort's read notifier on or off: off only while a reply is awaited
    // and cannot be whole yet. QSerialPort turns it on again whenever it reads.
    void applyWatch();

    void Open();
    void Close();
    void RecordFailure();
    void ThrowIfFailed() const;
    std::string OpenFailureReason() const;
    std::string LineFailureReason() const;

    PortEnvironment env_;
    std::unique_ptr<QSerialPort> port_;
    std::int16_t commPort_ = 1;
    std::string settings_ = "9600,n,8,1";
    std::string device_;
    std::string devicePath_;
    // Stays true after the device vanishes, until the program closes the port.
    bool open_ = false;
    // Why the open port stopped working (unplugged adapter, closed far end).
    std::optional<std::string> failure_;
    // Received bytes saved from a port closed after a failure, not yet handed out.
    std::string pending_;
    // Counts opens, so a close queued for a failed session spares the next one.
    unsigned session_ = 0;
    // A bytes-arrived call is queued and not yet made: arrivals until then share it.
    bool arrivalQueued_ = false;
    bool inInput_ = false;
    // Characters of the awaited reply not yet read, and the minimum read count set
    // on the line (1: every character wakes).
    std::size_t awaited_ = 0;
    unsigned char readMinimum_ = 0;
    // One character's time on the line (start, data, parity and stop bits).
    double characterMicros_ = 0.0;
    // QSerialPort's read notifier of the open port; null where there is none to
    // find (then the port is simply always watched).
    QPointer<QSocketNotifier> readNotifier_;
    // Runs while the port is left unwatched, until the reply may be whole.
    std::unique_ptr<PreciseTimer> lookTimer_;
    bool unwatched_ = false;
    // The last request written and when; counted once, by the next ExpectReply.
    std::size_t sentCharacters_ = 0;
    std::chrono::steady_clock::time_point sentAt_;
};

}  // namespace tally
