// The real window on the real serial component, clock and timers, talking to
// vl4300-sim over a pseudo-terminal linked as port 1 in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/frm_main.h"
#include "app/system_environment.h"
#include "simulator_process.h"
#include "ui/frm_sub.h"
#include "ui/lamp.h"
#include "ui/widget_state.h"

namespace tally::e2e {

enum Protocol { kOwn = 0, kModbusAscii = 1, kModbusRtu = 2 };

inline std::string ProtocolName(int protocol) {
    switch (protocol) {
        case kOwn:
            return "OwnProtocol";
        case kModbusAscii:
            return "ModbusAscii";
        default:
            return "ModbusRtu";
    }
}

// Runs the event loop until the condition holds or the time is up; true if it held.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs,
                      const std::function<void()>& onEachTurn = nullptr) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (true) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (onEachTurn) onEachTurn();
        if (condition()) return true;
        if (elapsed.elapsed() > timeoutMs) return false;
        QThread::msleep(5);
    }
}

// Lets real time pass with the event loop running (for timers that must fire).
inline void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

class LiveWindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        closeWindow();
        stopSimulator();
    }

    // Starts the simulator (station, seed, then any fault options).
    void startSimulator(int station, int seed, const QStringList& extra = {}) {
        ASSERT_TRUE(dir.isValid());
        QStringList args{QStringLiteral("--station"), QString::number(station),
                         QStringLiteral("--seed"), QString::number(seed)};
        args += extra;
        const QString error = sim.Start(dir.path(), args);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }

    void startWindow() {
        ports.appDir = dir.path().toStdString();
        system = std::make_unique<SystemEnvironment>(ports, ports.appDir);
        AppEnvironment env = system->env();
        env.beep = [this] { ++beeps; };
        env.messageBox = [this](const QString& title, const QString& text) {
            messages.push_back(title + QStringLiteral(": ") + text);
        };
        // Shown without a nested exec(): the test interacts, then hides it.
        env.showModal = [this](FrmSub& dialog) {
            dialog.show();
            ++modalShows;
            if (onModal) onModal(dialog);
            dialog.hide();
        };
        w = std::make_unique<FrmMain>(env);
        w->Form_Load();
    }

    // Simulator and window together, the window on line with the given settings.
    void startBoth(int protocol, int station, int seed, const QStringList& extra = {}) {
        startSimulator(station, seed, extra);
        if (HasFatalFailure()) return;
        startWindow();
        openPort(protocol, station);
    }

    void openPort(int protocol, int station, const QString& baud = QStringLiteral("19200")) {
        w->optProtocol[static_cast<std::size_t>(protocol)]->setChecked(true);
        w->cmbCOMM->setEditText(QStringLiteral("1"));
        w->cmbBaud->setCurrentText(baud);
        w->cmbStation->setEditText(QString::number(station));
        w->cmdCOMM->click();
        ASSERT_EQ(w->labReport->text(), QStringLiteral("On Line"))
            << w->labReport->toolTip().toStdString();
    }

    void closePort() {
        if (w->cmdCOMM->text() == QStringLiteral("Close Port")) w->cmdCOMM->click();
    }

    // Nothing on the line and nothing waiting.
    bool lineIdle() const {
        return !w->tmrRead->Enabled() && w->PendingCommand == 0 && !IsBusy(w->fmeDO) &&
               !IsBusy(w->fmeCT) && !IsBusy(w.get());
    }

    // One poll cycle of the ticked kinds (interval 0); true when it ended in time.
    bool readOnce(bool dc, bool di, bool dout, int timeoutMs = 3000) {
        w->chkDC->setChecked(dc);
        w->chkDI->setChecked(di);
        w->chkDO->setChecked(dout);
        w->txtAutoRead->setText(QStringLiteral("0"));
        w->chkRead->setChecked(true);
        return WaitUntil([this] { return !w->chkRead->isChecked() && lineIdle(); }, timeoutMs);
    }

    // Waits for a command's reply (or timeout) to be handled.
    bool settle(int timeoutMs = 3000) {
        return WaitUntil([this] { return lineIdle(); }, timeoutMs);
    }

    // The window's outputs 1-8 as the simulator writes them ("10000001").
    QString windowOutputs() const {
        QString bits;
        for (std::size_t k = 1; k <= 8; ++k)
            bits += w->OutputState[k] == 1 ? QLatin1Char('1') : QLatin1Char('0');
        return bits;
    }
    QString windowInputLamps() const {
        QString bits;
        for (Lamp* lamp : w->shpDI)
            bits += lamp->filled() ? QLatin1Char('1') : QLatin1Char('0');
        return bits;
    }
    QString windowEnableFlags() const {
        QString bits;
        for (std::size_t k = 1; k <= 8; ++k)
            bits += w->CounterEnable[k] == 1 ? QLatin1Char('1') : QLatin1Char('0');
        return bits;
    }
    QString simText(const char* field) const {
        return sim.State().value(QLatin1String(field)).toString();
    }
    std::array<double, 8> simCounters() const {
        std::array<double, 8> values{};
        const QJsonArray array = sim.State().value(QStringLiteral("counters")).toArray();
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

    // Stops the simulator and checks the one promise every test keeps.
    void stopSimulator() {
        if (!sim.Running()) return;
        EXPECT_EQ(sim.Stop(), 0) << "simulator did not end cleanly";
        // The stats file is rewritten once more at exit.
        const qint64 overlaps = sim.Count("overlaps");
        EXPECT_EQ(overlaps, 0) << "a request was sent while an answer was going out\n"
                               << sim.Summary().toStdString();
        EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("COM1"))).isSymLink())
            << "the simulator left its link behind";
    }

    QTemporaryDir dir;
    SimulatorProcess sim;
    PortEnvironment ports;
    std::unique_ptr<SystemEnvironment> system;
    int beeps = 0;
    int modalShows = 0;
    QStringList messages;
    std::function<void(FrmSub&)> onModal;
    std::unique_ptr<FrmMain> w;
};

}  // namespace tally::e2e
