#include "serial/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "serial/line_settings.h"
#include "serial/line_speed.h"
#include "serial/user_config_folder.h"

namespace tally {

namespace {

// Longest a write may wait for room in the system's output buffer.
constexpr int kWriteWaitMs = 1000;
// Bounds one Input call when data streams in faster than it can be drained.
constexpr int kMaxReadsPerInput = 64;
// A reply shorter on the line than this is watched for at once: leaving the port
// unwatched would only trade the wake-up at its arrival for a timer's.
constexpr double kUnwatchedMinMicros = 2000.0;
// The first look comes at least this long after the reply may be whole: the far
// end takes a moment to be scheduled (a simulator) or to start its answer.
constexpr std::int64_t kLookMarginMicros = 300;

std::string ErrorText(int error) {
    return std::strerror(error);
}

tcflag_t DataBitsFlag(int bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// Raw bytes, no flow control, no echo, no line editing: every value 0-255 as it is.
bool Configure(int fd, const LineSettings& line) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | DataBitsFlag(line.dataBits);
    if (line.parity != 'n') tio.c_cflag |= PARENB;
    if (line.parity == 'o' || line.parity == 'm') tio.c_cflag |= PARODD;
    if (line.parity == 'm' || line.parity == 's') tio.c_cflag |= CMSPAR;
    if (line.stopBits == 2) tio.c_cflag |= CSTOPB;
    // Only with no inter-character timer is VMIN a plain count for poll().
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0 && SetLineSpeed(fd, line.baud);
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
    return std::filesystem::path(path.toStdU16String());
}

PosixSerialPort::PosixSerialPort(PortEnvironment env)
    : env_(std::move(env)),
      context_(std::make_unique<QObject>()),
      lookTimer_(std::make_unique<PreciseTimer>()) {
    lookTimer_->onTimeout = [this] { look(); };
}

PosixSerialPort::~PosixSerialPort() {
    close();
}

void PosixSerialPort::SetCommPort(std::int16_t port) {
    if (open_) throw SerialError("Port is already open");
    commPort_ = port;
}

void PosixSerialPort::SetDevicePath(const std::string& path) {
    if (open_) throw SerialError("Port is already open");
    devicePath_ = path;
}

void PosixSerialPort::SetSettings(const std::string& settings) {
    if (open_) throw SerialError("Port is already open");
    settings_ = settings;
}

void PosixSerialPort::SetPortOpen(bool open) {
    if (open == open_) return;
    if (open)
        this->open();
    else
        close();
}

void PosixSerialPort::open() {
    const std::optional<LineSettings> line = ParseLineSettings(settings_);
    if (!line) throw SerialError("Invalid line settings \"" + settings_ + "\"");

    device_ = devicePath_.empty() ? ResolvePortDetails(commPort_, env_).device
                                  : DeviceForPath(devicePath_);
    if (device_.empty())
        throw SerialError("No such device: nothing is connected as port " +
                          std::to_string(commPort_));

    const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw SerialError(openFailure(errno));
    // One program at a time: another holder's lock, or its exclusive mode (which
    // only a superuser's open passes), makes the port busy.
    int error = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    else if (::ioctl(fd, TIOCEXCL) != 0 || !Configure(fd, *line))
        error = errno;
    if (error != 0) {
        ::close(fd);
        throw SerialError(openFailure(error));
    }
    fd_ = fd;
    open_ = true;
    failure_.reset();
    readMinimum_ = 1;
    characterMicros_ =
        (1.0 + line->dataBits + (line->parity == 'n' ? 0 : 1) + line->stopBits) * 1e6 / line->baud;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readable(); });
    awaited_ = 0;
    enter(ReplyState::Idle);
}

void PosixSerialPort::close() {
    open_ = false;
    failure_.reset();
    lookTimer_->Stop();
    notifier_.reset();
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    state_ = ReplyState::Idle;
    awaited_ = 0;
    sentCharacters_ = 0;
}

// The OS reason why opening failed, naming the device.
std::string PosixSerialPort::openFailure(int error) const {
    std::string why;
    if (error == EBUSY)
        why = " (locked by another program)";
    else if ((error == EACCES || error == EPERM) && ::access(device_.c_str(), R_OK | W_OK) != 0)
        why = " (is the user in the dialout group?)";
    return ErrorText(error) + ": " + device_ + why;
}

void PosixSerialPort::fail(int error) {
    if (failure_) return;
    if (::access(device_.c_str(), F_OK) != 0)
        failure_ = "No such device: " + device_ + " (it was disconnected)";
    else if (error == 0 || error == EIO)
        // An end of file or EIO: the far end hung up, or the adapter is going away.
        failure_ = "Line failed: " + device_ + " (the line hung up or the device was disconnected)";
    else if (error == ETIMEDOUT)
        failure_ = "Write failed: " + device_ + " (the line takes no data)";
    else
        failure_ = ErrorText(error) + ": " + device_;
    lookTimer_->Stop();
    notifier_.reset();
    ::close(std::exchange(fd_, -1));
}

void PosixSerialPort::throwIfFailed() const {
    if (!open_) throw SerialError("Port is not open");
    if (failure_) throw SerialError(*failure_);
}

void PosixSerialPort::Output(const std::string& bytes) {
    throwIfFailed();
    if (bytes.empty()) return;
    // A request fits the system's output buffer: one call. Where it does not (a
    // line slower than the program), the rest waits for room, but not for ever.
    std::size_t done = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLOUT, 0};
            if (left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0 &&
                (p.revents & POLLOUT) != 0)
                continue;
            fail(ETIMEDOUT);
            break;
        }
        fail(n < 0 ? errno : 0);
        break;
    }
    throwIfFailed();
    sentCharacters_ = bytes.size();
    sentAt_ = std::chrono::steady_clock::now();
}

std::string PosixSerialPort::Input() {
    if (!open_) throw SerialError("Port is not open");
    std::string data;
    // Non-blocking: a read returns what waits, however few against the read count.
    char buffer[512];
    for (int i = 0; i < kMaxReadsPerInput && fd_ >= 0; ++i) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        fail(n < 0 ? errno : 0);
    }
    // What came counts off the reply awaited (a longer reply than awaited is then
    // told character by character).
    if (awaited_ > 0 && !data.empty())
        awaited_ = data.size() < awaited_ ? awaited_ - data.size() : 1;
    // Read: watched again. Left unwatched until the reply may be whole, though.
    if (state_ == ReplyState::Watching || state_ == ReplyState::Told)
        enter(awaited_ > 0 ? ReplyState::Watching : ReplyState::Idle);
    // Bytes that arrived before a failure are handed out first.
    if (data.empty()) throwIfFailed();
    return data;
}

void PosixSerialPort::ExpectReply(std::size_t characters, std::int64_t answerAfterMicros) {
    awaited_ = characters;
    const std::size_t sent = std::exchange(sentCharacters_, 0);
    if (characters == 0) {
        enter(ReplyState::Idle);
        return;
    }
    const double wireMicros = characterMicros_ * static_cast<double>(characters);
    if (wireMicros < kUnwatchedMinMicros || fd_ < 0) {
        enter(ReplyState::Watching);
        return;
    }
    // The reply cannot be whole before the request just sent has left and the
    // reply has had its own time on the line. The first look comes then and no
    // later: a reply whole by then must not wait, whatever others did before.
    const double sentMicros = characterMicros_ * static_cast<double>(sent);
    const auto earliestWhole =
        (sent > 0 ? sentAt_ : std::chrono::steady_clock::now()) +
        std::chrono::microseconds(static_cast<std::int64_t>(sentMicros + wireMicros) +
                                  std::max<std::int64_t>(0, answerAfterMicros));
    enter(ReplyState::Unwatched);
    lookTimer_->StartAt(earliestWhole + std::chrono::microseconds(kLookMarginMicros));
}

void PosixSerialPort::look() {
    if (state_ != ReplyState::Unwatched || fd_ < 0) return;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
    if (static_cast<std::size_t>(waiting) < awaited_) {
        // The system reports the port readable once the rest has come (a USB
        // adapter's hand-over, a slow module): told then, not a moment later.
        enter(ReplyState::Watching);
        return;
    }
    // Usually it is all there: told now, from this timer, rather than through the
    // notifier and a queued call, each a turn of the event loop. The read count is
    // left as it is (1 between replies), so no reply costs a change of settings.
    enter(ReplyState::Told);
    if (onBytesArrived) onBytesArrived();
}

void PosixSerialPort::readable() {
    // Level-triggered: off until the bytes are read, or it would fire again at once.
    enter(ReplyState::Told);
    tellLater();
}

void PosixSerialPort::tellLater() {
    if (tellQueued_ || !onBytesArrived) return;
    tellQueued_ = true;
    // From the event loop, never inside the notifier's own signal, where the
    // listener may read the port, close it or open a dialog.
    QMetaObject::invokeMethod(
        context_.get(),
        [this] {
            tellQueued_ = false;
            if (open_ && onBytesArrived) onBytesArrived();
        },
        Qt::QueuedConnection);
}

void PosixSerialPort::enter(ReplyState state) {
    state_ = state;
    if (state != ReplyState::Unwatched) lookTimer_->Stop();
    if (state == ReplyState::Idle) setReadMinimum(1);
    if (state == ReplyState::Watching) setReadMinimum(awaited_);
    if (notifier_)
        notifier_->setEnabled(state == ReplyState::Idle || state == ReplyState::Watching);
}

void PosixSerialPort::setReadMinimum(std::size_t characters) {
    // Never 0: with 0 a read of an empty line returns nothing, as at a hang-up,
    // where 1 gives "try again"; for poll() 0 and 1 are the same.
    const auto wanted = static_cast<unsigned>(std::clamp<std::size_t>(characters, 1, 255));
    if (wanted == readMinimum_ || fd_ < 0) return;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return;
    tio.c_cc[VMIN] = static_cast<cc_t>(wanted);
    if (::tcsetattr(fd_, TCSANOW, &tio) == 0) readMinimum_ = wanted;
}

}  // namespace tally
