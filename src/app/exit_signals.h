// SIGTERM, SIGINT (Ctrl+C) and SIGHUP end the program the way its close box does;
// for a run with no window SIGHUP may instead ask for the log to be reopened
// (log rotation), as often as it comes.
//
// A signal handler may do next to nothing safely: it writes the signal's number
// into a socket pair, and a notifier on the other end raises `received` from the
// event loop, where the window can be closed and the settings saved. A second
// signal of the same kind takes its default action, so an operator can still
// force the end.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tally {

class ExitSignals : public QObject {
    Q_OBJECT
  public:
    enum class Hangup { Ends, Reopens };
    explicit ExitSignals(Hangup hangup = Hangup::Ends, QObject* parent = nullptr);
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

  signals:
    void received(int signalNumber);
    // SIGHUP with Hangup::Reopens.
    void reopenRequested();

  private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tally
