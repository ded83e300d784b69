#include "simulator_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace tally::e2e {

SimulatorProcess::~SimulatorProcess() {
    if (Running()) Stop();
}

QString SimulatorProcess::Start(const QString& dir, const QStringList& extraArgs) {
    statsPath_ = dir + QStringLiteral("/sim-stats.json");
    QStringList args{QStringLiteral("--dir"),   dir,
                     QStringLiteral("--port"),  QStringLiteral("1"),
                     QStringLiteral("--stats"), statsPath_};
    args += extraArgs;
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral(VL4300_SIM_PATH), args);
    if (!process_.waitForStarted(5000)) return QStringLiteral("cannot start ") + VL4300_SIM_PATH;
    // The first line is the device path, printed once the link is in place.
    const QDeadlineTimer deadline(5000);
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
            return QStringLiteral("no device path from the simulator: ") +
                   QString::fromLocal8Bit(process_.readAllStandardError());
    }
    device_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    if (!QFileInfo(dir + QStringLiteral("/COM1")).isSymLink())
        return QStringLiteral("the simulator made no COM1 link");
    return QString();
}

QJsonObject SimulatorProcess::Stats() const {
    QFile file(statsPath_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

qint64 SimulatorProcess::Count(const char* name) const {
    return Stats().value(QLatin1String(name)).toVariant().toLongLong();
}

int SimulatorProcess::Stop() {
    if (!Running()) return -1;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
        return -1;
    }
    summary_ = QString::fromLocal8Bit(process_.readAllStandardOutput());
    if (process_.exitStatus() != QProcess::NormalExit) return -1;
    return process_.exitCode();
}

}  // namespace tally::e2e
