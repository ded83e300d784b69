// SIGTERM, SIGINT (Ctrl+C) and SIGHUP end the program the way its close box does.
//
// A signal handler may do next to nothing safely: it writes the signal's number
// into a socket pair, and a notifier on the other end raises `received` from the
// event loop, where the window can be closed and the settings saved. A second
// signal of the same kind takes its default action, so an operator can still
// force the end. Without POSIX signals (Windows) this does nothing.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tally {

class ExitSignals : public QObject {
    Q_OBJECT
  public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

  signals:
    void received(int signalNumber);

  private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tally
