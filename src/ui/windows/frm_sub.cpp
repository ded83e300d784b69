#include "ui/windows/frm_sub.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/windows/widget_state.h"

namespace tally {

FrmSub::FrmSub(EnableFlagsOwner& owner, TimerFactory& timers, QWidget* parent)
    : QDialog(parent), owner_(owner) {
    setObjectName(QStringLiteral("frmSub"));
    setWindowTitle(QStringLiteral("Tallyscope, DC Status"));
    setFont(QFont(QStringLiteral("Tahoma")));
    setModal(true);

    labCOMM = new QLabel(
        QStringLiteral(
            "This status mean Counter will count/not count when \n\nDi1-Di8 receive signal ."),
        this);
    labCOMM->setObjectName(QStringLiteral("labCOMM"));
    labCOMM->setWordWrap(true);

    picDS = new QWidget(this);
    picDS->setObjectName(QStringLiteral("picDS"));
    auto* grid = new QGridLayout(picDS);
    for (int n = 1; n <= 8; ++n) {
        auto* box = new QCheckBox(QStringLiteral("DC%1").arg(n), picDS);
        box->setObjectName(QStringLiteral("chkDS_%1").arg(n));
        chkDS[static_cast<std::size_t>(n)] = box;
        // DC1-DC4 in the first column, DC5-DC8 in the second.
        grid->addWidget(box, (n - 1) % 4, (n - 1) / 4);
        connect(box, &QCheckBox::stateChanged, this, [this, n] { chkDS_Click(n); });
    }
    cmdDoON = new QPushButton(QStringLiteral("All Enable"), picDS);
    cmdDoON->setObjectName(QStringLiteral("cmdDoON"));
    cmdDoOFF = new QPushButton(QStringLiteral("All Disable"), picDS);
    cmdDoOFF->setObjectName(QStringLiteral("cmdDoOFF"));
    grid->addWidget(cmdDoON, 0, 2, 2, 1);
    grid->addWidget(cmdDoOFF, 2, 2, 2, 1);
    grid->setColumnMinimumWidth(
        2, fontMetrics().horizontalAdvance(QStringLiteral("All Disable")) + 24);
    connect(cmdDoON, &QPushButton::clicked, this, [this] { cmdDoON_Click(); });
    connect(cmdDoOFF, &QPushButton::clicked, this, [this] { cmdDoOFF_Click(); });

    // The Cancel button is never seen: it exists so that Esc closes the dialog.
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setVisible(false);
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    // A dialog's buttons are auto-default, so Enter would press "All Enable".
    for (QPushButton* button : {cmdDoON, cmdDoOFF, cmdCancel})
        button->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labCOMM);
    layout->addWidget(picDS);

    tmrWait = timers.Create(300);
    tmrWait->SetEnabled(false);
    tmrWait->onTick = [this] { tmrWait_Timer(); };
}

FrmSub::~FrmSub() = default;

bool FrmSub::Busy() const {
    return IsBusy(this);
}

void FrmSub::SetBusy(bool busy) {
    tally::SetBusy(this, busy);
}

void FrmSub::SetFlagSilently(int index, bool on) {
    const bool wasBusy = Busy();
    SetBusy(true);
    chkDS[static_cast<std::size_t>(index)]->setChecked(on);
    SetBusy(wasBusy);
}

void FrmSub::setWriting(bool writing) {
    SetBusy(writing);
    cmdCancel->setEnabled(!writing);
    picDS->setEnabled(!writing);
}

void FrmSub::startWrite(std::int16_t iCh, std::int16_t iVal) {
    setWriting(true);
    // Waiting before the write goes out, so a port failing under it can cancel the wait.
    tmrWait->SetEnabled(true);
    owner_.StatusDC(iCh, iVal);
}

void FrmSub::CancelWrite() {
    if (!tmrWait->Enabled()) return;
    tmrWait->SetEnabled(false);
    setWriting(false);
}

void FrmSub::chkDS_Click(int index) {
    if (Busy()) return;
    startWrite(static_cast<std::int16_t>(index),
               chkDS[static_cast<std::size_t>(index)]->isChecked() ? 1 : 0);
}

void FrmSub::cmdDoON_Click() {
    if (Busy()) return;
    startWrite(0, 255);
}

void FrmSub::cmdDoOFF_Click() {
    if (Busy()) return;
    startWrite(0, 0);
}

void FrmSub::cmdCancel_Click() {
    hide();
}

void FrmSub::tmrWait_Timer() {
    tmrWait->SetEnabled(false);
    owner_.DSResponse();
    // Still busy while DSResponse corrects the boxes, so its changes start no write.
    setWriting(false);
}

void FrmSub::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        // Esc presses the (hidden) Cancel button, which is disabled during a write.
        if (cmdCancel->isEnabled()) cmdCancel_Click();
        event->accept();
        return;
    }
    // Enter presses no button here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmSub::closeEvent(QCloseEvent* event) {
    // Like Esc, the close box waits for the write's reply: hiding now would let
    // polling resume while that reply is still on its way.
    if (!unloading_ && !cmdCancel->isEnabled()) {
        event->ignore();
        return;
    }
    // Closing only hides the dialog, which is reused for every opening. Accepting it
    // (rather than hiding by hand) lets a quit that closes every window go on.
    event->accept();
}

}  // namespace tally
