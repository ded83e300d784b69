#include "app/exit_signals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tally {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// [0] is written by the handler, [1] read by the notifier.
int g_pipe[2] = {-1, -1};

extern "C" void onExitSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // Nothing to do if it fails: the socket is full of signals not yet handled.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
    errno = savedErrno;
}

}  // namespace

ExitSignals::ExitSignals(Hangup hangup, QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0) return;  // one instance per process
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    const bool reopens = hangup == Hangup::Reopens;
    connect(notifier_, &QSocketNotifier::activated, this, [this, reopens] {
        char byte = 0;
        if (::read(g_pipe[1], &byte, 1) != 1) return;
        const int signalNumber = static_cast<unsigned char>(byte);
        if (reopens && signalNumber == SIGHUP) {
            emit reopenRequested();
        } else {
            emit received(signalNumber);
        }
    });
    struct sigaction action {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kSignals) {
        // A reopening hangup stays caught: a log is rotated again and again.
        const bool once = !(reopens && signalNumber == SIGHUP);
        action.sa_flags = SA_RESTART | (once ? SA_RESETHAND : 0);
        ::sigaction(signalNumber, &action, nullptr);
    }
}

ExitSignals::~ExitSignals() {
    if (notifier_ == nullptr) return;
    for (int signalNumber : kSignals)
        std::signal(signalNumber, SIG_DFL);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace tally
