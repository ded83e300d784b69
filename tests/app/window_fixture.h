// A main window on a fake serial port, a fake clock and hand-fired timers.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/window/frm_main.h"
#include "fake_clock.h"
#include "fake_serial_component.h"
#include "manual_timer.h"
#include "modal_loop.h"
#include "ui/windows/frm_sub.h"
#include "ui/windows/lamp.h"
#include "ui/windows/user_settings.h"
#include "ui/windows/widget_state.h"

namespace tally::testing {

// Whether the process has its own handler for the signal yet (the program, run as
// itself, closes its window on the termination signals once it has started).
inline bool CatchesSignal(qint64 pid, int signalNumber) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
    }
    return false;
}

class WindowTest : public ::testing::Test {
  protected:
    // Every test begins as a first start: nothing the window remembered from another.
    WindowTest() { UserSettings()->remove(QStringLiteral("mainWindow")); }

    void SetUp() override { start(); }

    void start() {
        ASSERT_TRUE(dir.isValid());
        // A fresh window on a fresh line (the fake port outlives the window).
        w.reset();
        if (port.PortOpen()) port.SetPortOpen(false);
        port.writes.clear();
        port.received.clear();
        clock.Set(46000, 12 * 3600.0);
        AppEnvironment env;
        env.port = &port;
        env.clock = &clock;
        env.timers = &timers;
        env.appDir = dir.path().toStdString();
        env.settings = settings;
        env.listPorts = [this] {
            ++listings;
            return ports;
        };
        env.portFolders = portFolders;
        env.describePort = [this](int n) {
            if (!w) ++callsWhileDestroyed;  // a handler reached a window being destroyed
            return QStringLiteral("device of port %1").arg(n);
        };
        env.portListDetail = [](int n) { return QStringLiteral("adapter of port %1").arg(n); };
        env.beep = [this] { ++beeps; };
        env.messageBox = [this](const QString& title, const QString& text) {
            messages.emplace_back(title, text);
        };
        w = std::make_unique<FrmMain>(env);
        w->Form_Load();
        // The dialog runs its own modal loop; the test acts inside it.
        modal = std::make_unique<ModalLoop>(w->frmSub, [this] {
            if (onModal && w->frmSub) onModal(*w->frmSub);
        });
    }

    ManualTimer& tmrRead() { return static_cast<ManualTimer&>(*w->tmrRead); }
    ManualTimer& tmrNow() { return static_cast<ManualTimer&>(*w->tmrNow); }
    ManualTimer& tmrPorts() { return static_cast<ManualTimer&>(*w->tmrPorts); }

    void openPort(int station = 1) {
        w->cmbStation->setEditText(QString::number(station));
        w->cmdCOMM->click();
        ASSERT_EQ(w->labReport->text(), QStringLiteral("On Line"))
            << w->labReport->toolTip().toStdString();
    }

    // On line, reading the kinds ticked, a cycle every `every` seconds (none: as it is).
    void openAndRead(std::initializer_list<QCheckBox*> kinds, const char* every = nullptr,
                     int station = 1) {
        openPort(station);
        for (QCheckBox* kind : kinds)
            kind->setChecked(true);
        if (every) w->txtAutoRead->setText(every);
        w->chkRead->setChecked(true);
    }

    // Lets the device answer (nothing: the deadline passes) and runs reply ticks until
    // the reply is handled (the line is free, or the next request has gone out).
    void answer(const std::optional<std::string>& reply) {
        if (reply) port.Receive(*reply);
        const std::size_t sent = port.writes.size();
        for (int i = 0; i < 20 && tmrRead().Enabled() && port.writes.size() == sent; ++i) {
            if (!reply) clock.Advance(0.04);
            tmrRead().Fire();
            if (reply && tmrRead().Enabled()) clock.Advance(0.04);
        }
    }
    void noAnswer() { answer(std::nullopt); }

    std::string lastWrite() const {
        return port.writes.empty() ? std::string() : port.writes.back();
    }

    QTemporaryDir dir;
    FakeSerialComponent port;
    FakeClock clock;
    ManualTimerFactory timers;
    std::vector<int> ports{1, 3};
    // Watched for ports coming and going (none: the port timer looks instead).
    std::vector<std::filesystem::path> portFolders;
    SettingsLocation settings;  // empty: beside the program, in `dir`
    int listings = 0;
    int callsWhileDestroyed = 0;
    std::vector<std::pair<QString, QString>> messages;
    int beeps = 0;
    std::function<void(FrmSub&)> onModal;
    std::unique_ptr<ModalLoop> modal;
    std::unique_ptr<FrmMain> w;
};

}  // namespace tally::testing
