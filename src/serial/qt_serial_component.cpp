#include "serial/qt_serial_component.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "serial/line_settings.h"
#include "serial/user_config_folder.h"

#ifndef _WIN32
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace tally {

namespace {

// Longest a write may hold up the caller; what is left goes out from the event loop.
constexpr int kWriteWaitMs = 100;
// Bounds one Input call when data streams in faster than it can be drained.
constexpr int kMaxReadsPerInput = 64;
// A reply shorter on the line than this is watched for at once: leaving the port
// unwatched would only trade the wake-up at its arrival for a timer's.
constexpr double kUnwatchedMinMicros = 2000.0;
// The first look comes at least this long after the reply may be whole: the far
// end takes a moment to be scheduled (a simulator) or to start its answer.
constexpr std::int64_t kLookMarginMicros = 300;

QSerialPort::Parity ToParity(char parity) {
    switch (parity) {
        case 'e':
            return QSerialPort::EvenParity;
        case 'o':
            return QSerialPort::OddParity;
        case 'm':
            return QSerialPort::MarkParity;
        case 's':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

// QSerialPort reports a read that found nothing as a failure: a read error when
// its read notification comes after Input has already taken the bytes that raised
// it, a resource error ("Resource temporarily unavailable") when the terminal was
// busy for a moment. The line is fine when its device is still there and it has
// neither hung up nor failed; the next Input turns notifications on again.
bool LineStillThere(int handle, const std::string& device) {
#ifndef _WIN32
    pollfd fd{handle, POLLIN, 0};
    return ::access(device.c_str(), F_OK) == 0 && ::poll(&fd, 1, 0) >= 0 &&
           (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
#else
    static_cast<void>(handle);
    static_cast<void>(device);
    return false;
#endif
}

bool IsFailure(QSerialPort::SerialPortError error) {
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError &&
           error != QSerialPort::UnsupportedOperationError;
}

}  // namespace

PortEnvironment ApplicationPortEnvironment() {
    PortEnvironment env;
    if (QCoreApplication::instance())
        env.appDir = FilesystemPath(QCoreApplication::applicationDirPath());
    env.configDir = UserConfigFolder();
    return env;
}

std::filesystem::path FilesystemPath(const QString& path) {
    // Through UTF-16, which the path turns into the system's own encoding; a narrow
    // string would be read in the ANSI code page on Windows.
    return std::filesystem::path(path.toStdU16String());
}

QtSerialComponent::QtSerialComponent(PortEnvironment env)
    : env_(std::move(env)),
      port_(std::make_unique<QSerialPort>()),
      lookTimer_(std::make_unique<PreciseTimer>()) {
    lookTimer_->onTimeout = [this] { replyMayBeWhole(); };
    // Errors raised while the event loop services the port (an adapter pulled out)
    // are kept and reported by the next Output or Input.
    QObject::connect(
        port_.get(), &QSerialPort::errorOccurred, port_.get(),
        [this](QSerialPort::SerialPortError error) {
            if (!open_ || failure_ || !IsFailure(error)) return;
            if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) &&
                LineStillThere(static_cast<int>(port_->handle()), device_)) {
                port_->clearError();
                return;
            }
            RecordFailure();
        });
    // Told from the event loop, never inside QSerialPort's own signal, where the
    // listener may read the port or open a dialog.
    // Bytes that Input pulls through QSerialPort raise readyRead too; Input hands
    // them out itself, so they are nothing to tell.
    QObject::connect(port_.get(), &QSerialPort::readyRead, port_.get(), [this] {
        if (arrivalQueued_ || inInput_ || !onBytesArrived) return;
        arrivalQueued_ = true;
        QMetaObject::invokeMethod(
            port_.get(),
            [this] {
                arrivalQueued_ = false;
                if (open_ && onBytesArrived) onBytesArrived();
            },
            Qt::QueuedConnection);
    });
}

QtSerialComponent::~QtSerialComponent() {
    // The error handler reads this object's members; ~QSerialPort would close the port
    // (and may report an error) only after they are gone.
    QObject::disconnect(port_.get(), nullptr, nullptr, nullptr);
    lookTimer_->Stop();
    if (port_->isOpen()) port_->close();
}

void QtSerialComponent::SetCommPort(std::int16_t port) {
    if (open_) throw SerialError("Port is already open");
    commPort_ = port;
}

void QtSerialComponent::SetDevicePath(const std::string& path) {
    if (open_) throw SerialError("Port is already open");
    devicePath_ = path;
}

void QtSerialComponent::SetSettings(const std::string& settings) {
    if (open_) throw SerialError("Port is already open");
    settings_ = settings;
}

void QtSerialComponent::SetPortOpen(bool open) {
    if (open == open_) return;
    if (open)
        Open();
    else
        Close();
}

void QtSerialComponent::Open() {
    const std::optional<LineSettings> line = ParseLineSettings(settings_);
    if (!line) throw SerialError("Invalid line settings \"" + settings_ + "\"");

    device_ = devicePath_.empty() ? ResolvePortDetails(commPort_, env_).device
                                  : DeviceForPath(devicePath_);
    if (device_.empty())
        throw SerialError("No such device: nothing is connected as port " +
                          std::to_string(commPort_));

    port_->setPortName(QString::fromStdString(device_));
    port_->setBaudRate(line->baud);
    port_->setDataBits(static_cast<QSerialPort::DataBits>(line->dataBits));
    port_->setParity(ToParity(line->parity));
    port_->setStopBits(line->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        const std::string reason = OpenFailureReason();
        if (port_->isOpen()) port_->close();
        port_->clearError();
        throw SerialError(reason);
    }
    failure_.reset();
    pending_.clear();
    ++session_;
    open_ = true;
    awaited_ = 0;
    // QSerialPort opens the line with a read minimum of 0.
    readMinimum_ = 0;
    applyReadMinimum(1);
    unwatched_ = false;
    characterMicros_ =
        (1.0 + line->dataBits + (line->parity == 'n' ? 0 : 1) + line->stopBits) * 1e6 / line->baud;
    // QSerialPort keeps its read notifier as a child of the port; the one of a
    // closed session may still wait for deletion, switched off.
    readNotifier_.clear();
    for (QSocketNotifier* notifier :
         port_->findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly)) {
        if (notifier->type() == QSocketNotifier::Read && notifier->isEnabled() &&
            notifier->socket() == static_cast<qintptr>(port_->handle()))
            readNotifier_ = notifier;
    }
}

void QtSerialComponent::Close() {
    open_ = false;
    failure_.reset();
    pending_.clear();
    lookTimer_->Stop();
    unwatched_ = false;
    readNotifier_.clear();
    if (port_->isOpen()) port_->close();
    port_->clearError();
}

void QtSerialComponent::RecordFailure() {
    failure_ = LineFailureReason();
    // Closing inside QSerialPort's own notification is unsafe; do it once that returns.
    QMetaObject::invokeMethod(
        port_.get(),
        [this, session = session_] {
            if (session != session_ || !port_->isOpen()) return;  // closed and reopened since
            const QByteArray rest = port_->readAll();
            pending_.append(rest.constData(), static_cast<std::size_t>(rest.size()));
            port_->close();
        },
        Qt::QueuedConnection);
}

void QtSerialComponent::ThrowIfFailed() const {
    if (!open_) throw SerialError("Port is not open");
    if (failure_) throw SerialError(*failure_);
}

// The OS reason why opening failed, naming the device.
std::string QtSerialComponent::OpenFailureReason() const {
    const QSerialPort::SerialPortError error = port_->error();
    std::string text = port_->errorString().toStdString();
    if (text.empty() || text == "Unknown error") text = "Serial port error";
    std::string hint;
    if (error == QSerialPort::PermissionError) {
#ifndef _WIN32
        // Qt reports a port locked by another program as a permission error too.
        if (::access(device_.c_str(), R_OK | W_OK) == 0) {
            if (text.find("lock") != std::string::npos) {
                text = "Device or resource busy";
                hint = " (locked by another program)";
            }
        } else {
            hint = " (is the user in the dialout group?)";
        }
#endif
    }
    return text + ": " + device_ + hint;
}

// Why an open port stopped working, naming the device.
std::string QtSerialComponent::LineFailureReason() const {
#ifndef _WIN32
    if (::access(device_.c_str(), F_OK) != 0)
        return "No such device: " + device_ + " (it was disconnected)";
#endif
    switch (port_->error()) {
        case QSerialPort::ReadError:
            // End of file (the far end hung up) comes with a stale errno; its text misleads.
            return "Read failed: " + device_ + " (the line hung up or the device was disconnected)";
        case QSerialPort::ResourceError:
            return port_->errorString().toStdString() + ": " + device_ +
                   " (the device was disconnected)";
        default:
            return port_->errorString().toStdString() + ": " + device_;
    }
}

void QtSerialComponent::Output(const std::string& bytes) {
    ThrowIfFailed();
    if (bytes.empty()) return;
    if (!port_->isOpen()) throw SerialError("Port closed unexpectedly: " + device_);
    std::size_t done = 0;
#ifndef _WIN32
    // A request fits the system's output buffer: written straight to the line it
    // costs one call, where going through QSerialPort turns its write notifier on
    // and off and wakes the event loop for it. Whatever does not go out at once
    // (or an error, which QSerialPort then reports) takes the usual way.
    if (port_->bytesToWrite() == 0) {
        const ssize_t n = ::write(static_cast<int>(port_->handle()), bytes.data(), bytes.size());
        if (n > 0) done = static_cast<std::size_t>(n);
        if (done == bytes.size()) {
            noteSent(bytes.size());
            return;
        }
    }
#endif
    const qint64 rest = static_cast<qint64>(bytes.size() - done);
    const qint64 written = port_->write(bytes.data() + done, rest);
    if (written != rest) {
        if (!failure_) RecordFailure();
        ThrowIfFailed();
    }
    // Hand the bytes to the OS now rather than at the next turn of the event loop.
    QDeadlineTimer deadline(kWriteWaitMs);
    while (!failure_ && port_->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port_->waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) break;
    }
    if (port_->error() == QSerialPort::TimeoutError) port_->clearError();
    ThrowIfFailed();
    noteSent(bytes.size());
}

void QtSerialComponent::noteSent(std::size_t characters) {
    sentCharacters_ = characters;
    sentAt_ = std::chrono::steady_clock::now();
}

void QtSerialComponent::ExpectReply(std::size_t characters, std::int64_t answerAfterMicros) {
    awaited_ = characters;
    lookTimer_->Stop();
    unwatched_ = false;
    const std::size_t sent = std::exchange(sentCharacters_, 0);
    const double wireMicros = characterMicros_ * static_cast<double>(characters);
    if (characters > 0 && readNotifier_ && open_ && !failure_ &&
        wireMicros >= kUnwatchedMinMicros) {
        // The reply cannot be whole before the request just sent has left and the
        // reply has had its own time on the line. The first look comes then and no
        // later: a reply whole by then must not wait, whatever others did before.
        const auto now = std::chrono::steady_clock::now();
        const double sentMicros = characterMicros_ * static_cast<double>(sent);
        const auto earliestWhole =
            (sent > 0 ? sentAt_ : now) +
            std::chrono::microseconds(static_cast<std::int64_t>(sentMicros + wireMicros) +
                                      std::max<std::int64_t>(0, answerAfterMicros));
        unwatched_ = true;
        applyWatch();
        lookTimer_->StartAt(earliestWhole + std::chrono::microseconds(kLookMarginMicros));
        return;
    }
    applyReadMinimum(characters);
    applyWatch();
}

void QtSerialComponent::replyMayBeWhole() {
    unwatched_ = false;
    if (!open_ || failure_ || !port_->isOpen()) return;
    std::size_t waiting = 0;
#ifndef _WIN32
    int count = 0;
    if (::ioctl(static_cast<int>(port_->handle()), FIONREAD, &count) == 0 && count > 0)
        waiting = static_cast<std::size_t>(count);
#endif
    if (waiting >= awaited_ && onBytesArrived) {
        // Usually it is all there: told now, from this timer, rather than through
        // the port's notifier and a queued call, each a turn of the event loop.
        // The read count is left as it is (1 between replies), so no reply costs
        // a change of the line's settings. The port is watched again from the
        // next Input on, so bytes left unread are not told twice.
        onBytesArrived();
        return;
    }
    // Otherwise the system reports the port readable once the rest has come (a
    // USB adapter's hand-over, a slow module): told then, not a moment later.
    applyReadMinimum(waiting >= awaited_ ? 1 : awaited_);
    applyWatch();
}

void QtSerialComponent::applyWatch() {
    if (readNotifier_ && port_->isOpen() && !failure_) readNotifier_->setEnabled(!unwatched_);
}

void QtSerialComponent::applyReadMinimum(std::size_t characters) {
#ifndef _WIN32
    if (!open_ || failure_ || !port_->isOpen()) return;
    // Never 0: with 0 a read of an empty line returns nothing, as at a hang-up,
    // where 1 gives "try again"; for poll() 0 and 1 are the same.
    const auto wanted = static_cast<cc_t>(std::clamp<std::size_t>(characters, 1, 255));
    if (wanted == readMinimum_) return;
    const int fd = static_cast<int>(port_->handle());
    termios tio{};
    // Only with no inter-character timer is VMIN a plain count for poll().
    if (::tcgetattr(fd, &tio) != 0 || tio.c_cc[VTIME] != 0) return;
    tio.c_cc[VMIN] = wanted;
    if (::tcsetattr(fd, TCSANOW, &tio) == 0) readMinimum_ = wanted;
#else
    static_cast<void>(characters);
#endif
}

std::string QtSerialComponent::Input() {
    if (!open_) throw SerialError("Port is not open");
    std::string data;
    data.swap(pending_);
    if (!port_->isOpen()) {
        // Closed after a failure: only what was saved from it.
    } else if (port_->bytesAvailable() > 0 || !readNotifier_) {
        // What QSerialPort's own reading took first, then the line.
        const QByteArray held = port_->readAll();
        data.append(held.constData(), static_cast<std::size_t>(held.size()));
    }
    bool lineQuiet = false;
#ifndef _WIN32
    // Straight from the line (it is non-blocking: a read returns what waits, and
    // fewer characters than the minimum read count never make the port readable
    // for QSerialPort). Nothing waiting is the usual end.
    if (!failure_ && port_->isOpen()) {
        const int fd = static_cast<int>(port_->handle());
        char buffer[512];
        for (int i = 0; i < kMaxReadsPerInput; ++i) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                data.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            lineQuiet = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            break;
        }
    }
#endif
    if (!lineQuiet && !failure_ && port_->isOpen()) {
        // An end of file or a read error (a hung-up line, a vanished adapter), or no
        // way to read directly: QSerialPort reads, and reports what went wrong.
        inInput_ = true;
        for (int i = 0; i < kMaxReadsPerInput && !failure_ && port_->waitForReadyRead(0); ++i) {
        }
        inInput_ = false;
        if (port_->error() == QSerialPort::TimeoutError) port_->clearError();
        if (port_->isOpen()) {
            const QByteArray fresh = port_->readAll();
            data.append(fresh.constData(), static_cast<std::size_t>(fresh.size()));
        }
    }
    // The count is of characters not yet read: what came counts off the reply awaited
    // (a longer reply than awaited is then told character by character).
    if (awaited_ > 0 && !data.empty()) {
        awaited_ = data.size() < awaited_ ? awaited_ - data.size() : 1;
        if (!unwatched_) applyReadMinimum(awaited_);
    }
    // QSerialPort turns its notifier off after a read that found nothing and on
    // when it reads again: it follows this component's watch instead.
    applyWatch();
    // Bytes that arrived before a failure are handed out first.
    if (data.empty()) ThrowIfFailed();
    return data;
}

}  // namespace tally
