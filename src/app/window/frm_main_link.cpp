// Ports, the port and station fields, opening and closing the line.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/window/frm_main.h"
#include "numbers/number_text.h"
#include "protocol/frames.h"
#include "ui/models/read_confirmation.h"
#include "ui/windows/field_routines.h"
#include "ui/windows/lamp.h"
#include "ui/windows/port_item_delegate.h"
#include "ui/windows/widget_state.h"

namespace tally {

void FrmMain::ListPorts() {
    // Its short waits let events run; F5 held down must not list again inside them.
    if (listingPorts_) return;
    const QScopedValueRollback<bool> listing(listingPorts_, true);
    // Refilling the list must not disturb the number the operator typed.
    const QString typed = cmbCOMM->currentText();
    const QSignalBlocker block(cmbCOMM);
    cmbCOMM->clear();
    std::vector<int> ports;
    if (env_.listPorts) {
        try {
            ports = env_.listPorts();
        } catch (...) {
            ports.clear();  // listing never reports anything
        }
    }
    for (int n : ports) {
        if (n < 1 || n > 9) continue;
        WaitSeconds(*env_.clock, 0.01f);
        cmbCOMM->addItem(QString::number(n));
        try {
            if (env_.portListDetail)
                cmbCOMM->setItemData(cmbCOMM->count() - 1, env_.portListDetail(n), kPortDetailRole);
        } catch (...) {
            // The number alone still serves.
        }
    }
    // The list opens wide enough to show the details.
    cmbCOMM->view()->setMinimumWidth(cmbCOMM->view()->sizeHintForColumn(0));
    cmbCOMM->setCurrentIndex(-1);
    cmbCOMM->setEditText(typed);
    updatePortToolTip();
}

namespace {
// With the port folders watched the look is only a safety net (a device that
// appears somewhere unwatched): an idle window sleeps.
constexpr int kPortWatchedMs = 60000;
}  // namespace

void FrmMain::watchPortFolders() {
    QStringList folders;
    for (const std::filesystem::path& folder : env_.portFolders) {
        std::error_code error;
        if (!folder.empty() && std::filesystem::is_directory(folder, error))
            folders << QString::fromStdU16String(folder.u16string());
    }
    if (folders.isEmpty()) return;
    portWatch_ = new QFileSystemWatcher(this);
    portWatch_->addPaths(folders);
    // Folders that cannot be watched (no inotify left) leave the list to the timer.
    if (portWatch_->directories().isEmpty()) {
        delete portWatch_;
        portWatch_ = nullptr;
        return;
    }
    connect(portWatch_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (tmrPorts->Enabled()) tmrPorts_Timer();
    });
    tmrPorts->SetInterval(kPortWatchedMs);
}

void FrmMain::tmrPorts_Timer() {
    if (!env_.listPorts) return;
    std::vector<int> present;
    try {
        present = env_.listPorts();
    } catch (...) {
        return;
    }
    present.erase(
        std::remove_if(present.begin(), present.end(), [](int n) { return n < 1 || n > 9; }),
        present.end());
    std::vector<int> listed;
    for (int i = 0; i < cmbCOMM->count(); ++i)
        listed.push_back(cmbCOMM->itemText(i).toInt());
    // An adapter was plugged in or pulled out: the list follows without F5.
    if (present != listed) ListPorts();
}

void FrmMain::cmbCOMM_Change() {
    const QString text = cmbCOMM->currentText();
    if (text.isEmpty()) {
        cmdCOMM->setEnabled(false);
        updatePortToolTip();
        return;
    }
    const double value = LeadingNumber(text.toStdString());
    if (value > 16) {
        cmbCOMM->setEditText(QStringLiteral("16"));
        SelectAllText(cmbCOMM);
    } else if (value < 1) {
        cmbCOMM->setEditText(QStringLiteral("1"));
        SelectAllText(cmbCOMM);
    }
    cmdCOMM->setEnabled(true);
    updatePortToolTip();
}

void FrmMain::updatePortToolTip() {
    const auto port = ToWholeNumber16(cmbCOMM->currentText().toStdString());
    if (!port || !env_.describePort) {
        cmbCOMM->setToolTip(QString());
        return;
    }
    cmbCOMM->setToolTip(env_.describePort(*port));
}

void FrmMain::cmbCOMM_KeyDown(int keyCode) {
    if (keyCode != 116 || listingPorts_) return;  // F5, unless a listing is running
    const auto kept = ToWholeNumber16(cmbCOMM->currentText().toStdString());
    ListPorts();
    // With an empty field there is no number to keep: it stays empty.
    if (kept) cmbCOMM->setEditText(QString::number(*kept));
    SelectAllText(cmbCOMM);
}

void FrmMain::cmbStation_Change() {
    // What is on show came from the station before.
    confirmation_->ForgetAll();
    const QString text = cmbStation->currentText();
    if (text.isEmpty()) {
        cmdCOMM->setEnabled(false);
        return;
    }
    if (LeadingNumber(text.toStdString()) > 31) {
        cmbStation->setEditText(QStringLiteral("31"));
        SelectAllText(cmbStation);
    }
    cmdCOMM->setEnabled(true);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == cmbCOMM || watched == cmbCOMM->lineEdit()) &&
        event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5) {
        cmbCOMM_KeyDown(116);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmMain::cmdCOMM_Click() {
    // The search holds the port; the window stays off line until it has ended.
    if (search_->Running()) return;
    tmrNow->SetEnabled(false);
    tmrRead->SetEnabled(false);
    if (cmdCOMM->text() == QLatin1String("Open Port")) {
        try {
            const auto port = ToWholeNumber16(cmbCOMM->currentText().toStdString());
            if (!port) throw SerialError("The port number is not a number.");
            // A station outside 0-31 would put a wrong address into every frame.
            const auto station = ToWholeNumber16(cmbStation->currentText().toStdString());
            if (!station || *station < 0 || *station > 31) {
                throw SerialError("The station must be a number from 0 to 31.");
            }
            mscCOMM.SetCommPort(*port);
            mscCOMM.SetSettings(cmbBaud->currentText().toStdString() + ",n,8,1");
            if (!mscCOMM.PortOpen()) mscCOMM.SetPortOpen(true);
            cmdCOMM->setText(QStringLiteral("Close Port"));
            shpCOMM->setFilled(true);
            mscCOMM.Input();
            SetControlsOnline(true);
            labReport->setText(QStringLiteral("On Line"));
            labReport->setToolTip(QString());
            StationHex = StationHexOf(*station);
            walkStations();
            engine_->LineOpened();
        } catch (const SerialError& error) {
            goOffLine(QString::fromStdString(error.what()));
        }
    } else {
        goOffLine(QString());
    }
    WaitSeconds(*env_.clock, 0.25f);
}

void FrmMain::goOffLine(const QString& reason) {
    tmrNow->SetEnabled(false);
    tmrRead->SetEnabled(false);
    // The engine drops the request in flight and what the port still holds.
    engine_->LineClosed();
    try {
        if (mscCOMM.PortOpen()) mscCOMM.SetPortOpen(false);
    } catch (const SerialError&) {
        // A port that is already gone cannot be closed any further.
    }
    cmdCOMM->setText(QStringLiteral("Open Port"));
    shpCOMM->setFilled(false);
    if (chkRead->checkState() != Qt::Unchecked) chkRead->setCheckState(Qt::Unchecked);
    for (int i = 0; i < 8; ++i) {
        SetBackColor(cmdDO[static_cast<std::size_t>(i + 1)], kOffColor);
        shpDI[static_cast<std::size_t>(i)]->setFilled(false);
    }
    // The reply in flight is abandoned and a waiting command would go out later,
    // perhaps to another station: drop it and free the groups, or they would
    // stay busy for good.
    PendingCommand = 0;
    ClearBusyMarkers();
    SetControlsOnline(false);
    labReport->setText(QStringLiteral("Off Line"));
    // The operator finds out why by hovering over the status line.
    labReport->setToolTip(reason);
}

void FrmMain::PortFailed(const std::string& reason) {
    // A dialog left open on a dead port could only fail; it is shown fresh next time.
    // No reply to its write will come: it must not beep about one.
    if (frmSub != nullptr) {
        frmSub->CancelWrite();
        if (frmSub->isVisible()) frmSub->hide();
    }
    goOffLine(QString::fromStdString(reason));
}

}  // namespace tally
