// vl4300-sim as a child process: started on a folder, read through its
// --stats file, stopped with SIGTERM.
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tally::e2e {

class SimulatorProcess {
  public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Starts the simulator linked as DIR/COM1 and waits for its device path.
    // Returns an empty string on success, otherwise why it failed.
    QString Start(const QString& dir, const QStringList& extraArgs);

    // The latest snapshot of the --stats file (empty object if unreadable).
    QJsonObject Stats() const;
    QJsonObject State() const { return Stats().value(QStringLiteral("state")).toObject(); }
    qint64 Count(const char* name) const;

    // SIGTERM, then the exit code (-1 if it did not end cleanly) and the summary.
    int Stop();
    QString Summary() const { return summary_; }
    QString Device() const { return device_; }
    bool Running() const { return process_.state() != QProcess::NotRunning; }

  private:
    QProcess process_;
    QString statsPath_;
    QString device_;
    QString summary_;
};

}  // namespace tally::e2e
