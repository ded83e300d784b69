// The real window on the program's own environment (serial component, clock,
// timers) talking to vl4300-sim over a pseudo-terminal linked as port 1 in a
// temporary folder. Real time passes, so every wait is bounded.
#pragma once

#include <gtest/gtest.h>

#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

#include "app/window/frm_main.h"
#include "app/window/system_environment.h"
#include "modal_loop.h"
#include "ui/windows/frm_trend.h"
#include "ui/windows/lamp.h"
#include "ui/windows/widget_state.h"

namespace tally::e2e {

enum Protocol { kOwn = 0, kModbusAscii = 1, kModbusRtu = 2 };
constexpr const char* kProtocolNames[] = {"OwnProtocol", "ModbusAscii", "ModbusRtu"};
constexpr int kStillSeed = 0;   // counters at 0, inputs that never change
constexpr int kMovingSeed = 7;  // counters not all 0, inputs that move

// Runs the event loop until the condition holds or the time is up; true if it held.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (true) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (condition()) return true;
        if (elapsed.elapsed() > timeoutMs) return false;
        QThread::msleep(5);
    }
}

// "10000001" for flags 1-8.
template <typename Flag>
QString Bits(Flag on) {
    QString bits;
    for (std::size_t k = 1; k <= 8; ++k)
        bits += on(k) ? QLatin1Char('1') : QLatin1Char('0');
    return bits;
}

// Waits for a program to end with `exitCode`; what it said on standard error.
inline QString Finished(QProcess& program, int exitCode = 0, int timeoutMs = 15000) {
    const bool ended = program.waitForFinished(timeoutMs);
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(ended) << "still running";
    EXPECT_EQ(program.exitCode(), exitCode) << said.toStdString();
    return said;
}

// The lines of a CSV file split into cells, header first.
inline QList<QStringList> CsvRows(const QString& path) {
    QFile file(path);
    const QString all = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : "";
    QList<QStringList> rows;
    for (const QString& line : all.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        rows.push_back(line.split(QLatin1Char(',')));
    return rows;
}

// The points of the chart's channel k, in its lines and its dots, in time order.
inline QList<QPointF> TrendPoints(FrmTrend& chart, int k) {
    QList<QPointF> points;
    for (QAbstractSeries* s : chart.chart->series())
        if (s->property("channel").toInt() == k) points += static_cast<QLineSeries*>(s)->points();
    std::sort(points.begin(), points.end(), [](auto& a, auto& b) { return a.x() < b.x(); });
    return points;
}

// Counters only count up, a step or so a request: values read a moment ago are close
// below the module's own now, thousands away from another module's.
inline void ExpectCloseBelow(const QStringList& shown, const QJsonArray& now) {
    ASSERT_EQ(now.size(), 8);
    for (int k = 0; k < 8; ++k) {
        const double behind = now.at(k).toDouble() - shown.value(k).toDouble();
        EXPECT_TRUE(behind >= 0 && behind <= 30) << k << ": " << shown.join(',').toStdString();
    }
}

// vl4300-sim as a child process, read through its --stats file, stopped with SIGTERM.
class SimulatorProcess {
  public:
    ~SimulatorProcess() { Stop(); }
    // Empty on success, otherwise why it failed.
    QString Start(const QString& dir, const QStringList& extraArgs) {
        statsPath_ = dir + QStringLiteral("/sim-stats.json");
        process_.start(QStringLiteral(VL4300_SIM_PATH),
                       QStringList{"--dir", dir, "--port", "1", "--stats", statsPath_} + extraArgs);
        if (!process_.waitForStarted(5000)) return QStringLiteral("cannot start the simulator");
        // The first line (the device path) is printed once the link is in place.
        const QDeadlineTimer deadline(5000);
        while (!process_.canReadLine())
            if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
                return "no device path: " + QString::fromLocal8Bit(process_.readAllStandardError());
        if (!QFileInfo(dir + QStringLiteral("/COM1")).isSymLink()) return "no COM1 link";
        return QString();
    }
    QJsonObject Stats() const {
        QFile file(statsPath_);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    qint64 Count(const char* name) const {
        return Stats().value(QLatin1String(name)).toVariant().toLongLong();
    }
    bool Running() const { return process_.state() != QProcess::NotRunning; }
    // The exit code, -1 if it did not end cleanly.
    int Stop() {
        if (!Running()) return -1;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(2000);
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

  private:
    QProcess process_;
    QString statsPath_;
};

class LiveWindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        closeWindow();
        stopSimulator();
        EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    }

    // Both return whether they succeeded; a failure is fatal.
    bool startSimulator(int station, int seed, const QStringList& extra = {}) {
        const QString error =
            dir.isValid() ? sim.Start(dir.path(), QStringList{"--station", QString::number(station),
                                                              "--seed", QString::number(seed)} +
                                                      extra)
                          : QStringLiteral("no folder");
        [&] { ASSERT_TRUE(error.isEmpty()) << error.toStdString(); }();
        return error.isEmpty();
    }

    void startWindow() {
        ports.appDir = dir.path().toStdString();
        system = std::make_unique<SystemEnvironment>(ports, ports.appDir);
        AppEnvironment env = system->env();
        env.beep = [this] { ++beeps; };
        env.messageBox = [this](const QString& title, const QString& text) {
            messages.push_back(title + QStringLiteral(": ") + text);
        };
        w = std::make_unique<FrmMain>(env);
        w->Form_Load();
        // The dialog runs its own modal loop; the test acts inside it.
        modal = std::make_unique<testing::ModalLoop>(w->frmSub, [this] {
            if (onModal && w->frmSub) onModal(*w->frmSub);
        });
    }

    bool openPort(int protocol, int station, const QString& baud = QStringLiteral("19200")) {
        w->optProtocol[static_cast<std::size_t>(protocol)]->setChecked(true);
        w->cmbCOMM->setEditText(QStringLiteral("1"));
        w->cmbBaud->setCurrentText(baud);
        w->cmbStation->setEditText(QString::number(station));
        w->cmdCOMM->click();
        [&] {
            ASSERT_EQ(w->labReport->text(), QStringLiteral("On Line"))
                << w->labReport->toolTip().toStdString();
            // The rate must be one the list offers: another one would be left at the last.
            ASSERT_EQ(system->serial().Settings(), baud.toStdString() + ",n,8,1");
        }();
        return !HasFatalFailure();
    }

    // Nothing on the line and nothing waiting.
    bool lineIdle() const {
        return !w->tmrRead->Enabled() && w->PendingCommand == 0 && !IsBusy(w->fmeDO) &&
               !IsBusy(w->fmeCT) && !IsBusy(w.get());
    }

    // One poll cycle of the ticked kinds (interval 0); true when it ended in time.
    bool readOnce(bool dc, bool di, bool dout) {
        w->chkDC->setChecked(dc);
        w->chkDI->setChecked(di);
        w->chkDO->setChecked(dout);
        w->txtAutoRead->setText(QStringLiteral("0"));
        w->chkRead->setChecked(true);
        return WaitUntil([this] { return !w->chkRead->isChecked() && lineIdle(); }, 3000);
    }

    bool settle() {
        return WaitUntil([this] { return lineIdle(); }, 3000);
    }

    QString windowOutputs() const {
        return Bits([this](std::size_t k) { return w->OutputState[k] == 1; });
    }
    QJsonValue simState(const char* field) const {
        return sim.Stats().value(QStringLiteral("state")).toObject().value(QLatin1String(field));
    }
    QString simText(const char* field) const { return simState(field).toString(); }
    std::array<double, 8> simCounters() const {
        std::array<double, 8> values{};
        const QJsonArray array = simState("counters").toArray();
        for (int i = 0; i < 8 && i < array.size(); ++i)
            values[static_cast<std::size_t>(i)] = array.at(i).toDouble();
        return values;
    }

    void closeWindow() {
        if (!w) return;
        // As when the program ends: the port is left to close with the window.
        w->close();
        w.reset();
        system.reset();
    }

    // tallyscope --headless polling station 1 on the simulator's port every second in
    // Modbus RTU; `args` add to these or override them.
    void runHeadless(QProcess& program, const QStringList& args) {
        program.start(QStringLiteral(TALLYSCOPE_PATH),
                      QStringList{"--headless", "--port", dir.filePath("COM1"), "--baud", "19200",
                                  "--station", "1", "--protocol", "rtu", "--every", "1", "--read",
                                  "dc,di,do"} +
                          args);
        ASSERT_TRUE(program.waitForStarted(5000));
    }

    // The promise every test keeps, checked once the simulator has stopped.
    void stopSimulator() {
        if (!sim.Running()) return;
        EXPECT_EQ(sim.Stop(), 0) << "simulator did not end cleanly";
        // The stats file is rewritten at exit.
        EXPECT_EQ(sim.Count("overlaps"), 0) << "a request was sent while an answer was going out";
        EXPECT_EQ(sim.Count("rtu_early"), 0)
            << "a Modbus RTU request followed an answer within 3.5 characters";
        EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("COM1"))).isSymLink())
            << "the simulator left its link behind";
    }

    QTemporaryDir dir;
    SimulatorProcess sim;
    PortEnvironment ports;
    std::unique_ptr<SystemEnvironment> system;
    int beeps = 0;
    QStringList messages;
    std::function<void(FrmSub&)> onModal;
    std::unique_ptr<testing::ModalLoop> modal;
    std::unique_ptr<FrmMain> w;
};

}  // namespace tally::e2e
