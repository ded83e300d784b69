// Operator commands: outputs, counter clear and preset, the enable flags.
//
// A command never writes to the line itself: it stores its frame in the
// one-slot queue and hands it to the engine, which sends it when the line is
// free. The one exception is the enable-flag write of the dialog, which the
// engine sends at once and the dialog checks 300 ms later.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/window/frm_main.h"
#include "numbers/number_text.h"
#include "protocol/frames.h"
#include "ui/windows/field_routines.h"
#include "ui/windows/widget_state.h"

namespace tally {

void FrmMain::queueCommand(std::int16_t command, const std::string& frame) {
    PendingFrame = frame;
    PendingCommand = command;
    engine_->Dispatch();
}

// Clear, preset and the enable flags exist in the module's own protocol only.
// Under Modbus they send nothing (never an older frame left in the queue) and
// say so, instead of queueing a command the module could not understand.
bool FrmMain::ownProtocolOnly(const QString& what, QCheckBox* box) {
    if (ProtocolFromIndex(ProtocolIndex) == Protocol::Own) return false;
    if (box != nullptr && box->checkState() != Qt::Unchecked) box->setCheckState(Qt::Unchecked);
    labReport->setText(what + QStringLiteral(" works with the Korvi protocol only"));
    return true;
}

// --- Outputs ---

// The output group is busy from the click until the write is answered or late.
void FrmMain::queueOutputWrite(std::int16_t target, const Request& request) {
    if (IsBusy(fmeDO)) return;
    SetBusy(fmeDO, true);
    const auto frame = BuildFrame(ProtocolFromIndex(ProtocolIndex), mainStationHex(), request);
    OutputState[0] = target;
    queueCommand(3, frame.value_or(std::string()));
}

void FrmMain::cmdDO_Click(int index) {
    if (index < 1 || index > 8) return;
    // The new state comes from the remembered one; the device is not asked first.
    queueOutputWrite(static_cast<std::int16_t>(index),
                     ToggleOutputRequest(index, OutputState[static_cast<std::size_t>(index)]));
}

void FrmMain::cmdDoON_Click() {
    queueOutputWrite(255, AllOutputsRequest(true));
}

void FrmMain::cmdDoOFF_Click() {
    queueOutputWrite(0, AllOutputsRequest(false));
}

// --- Counter clear and preset ---

void FrmMain::chkCTClear_Click() {
    if (chkCTClear->checkState() == Qt::Unchecked) return;
    // While busy the box stays ticked; it is freed with the command in flight.
    if (IsBusy(fmeCT)) return;
    if (ownProtocolOnly(QStringLiteral("Clear DC"), chkCTClear)) return;
    SetBusy(fmeCT, true);
    const int ch = CounterSelectorNumber();
    const auto frame = BuildFrame(Protocol::Own, mainStationHex(), ClearCounterRequest(ch));
    queueCommand(1, frame.value_or(std::string()));
}

void FrmMain::chkCTSet_Click() {
    if (chkCTSet->checkState() == Qt::Unchecked) return;
    if (IsBusy(fmeCT)) return;
    if (ownProtocolOnly(QStringLiteral("Set DC"), chkCTSet)) return;
    SetBusy(fmeCT, true);
    const int ch = CounterSelectorNumber();
    ClampAndFormatField(txtCTSet, 3, 0.0, 4294967295.0);
    const double value = LeadingNumber(txtCTSet->text().toStdString());
    const auto frame = BuildFrame(Protocol::Own, mainStationHex(), PresetCounterRequest(ch, value));
    queueCommand(2, frame.value_or(std::string()));
}

// --- Counter-enable flags ---

void FrmMain::cmdCTSet_Click() {
    if (IsBusy(this)) return;
    if (ownProtocolOnly(QStringLiteral("Enable/Disable DC"), nullptr)) return;
    SetBusy(this, true);
    const auto frame = BuildFrame(Protocol::Own, mainStationHex(), ReadEnableRequest());
    queueCommand(4, frame.value_or(std::string()));
}

void FrmMain::StatusDC(std::int16_t iCh, std::int16_t iVal) {
    if (ProtocolFromIndex(ProtocolIndex) != Protocol::Own) return;
    std::string digits;
    if (iCh >= 1 && iCh <= 8) {
        // The new state comes from the stored flags, not from the box.
        BitArray flags(8);
        for (std::size_t k = 1; k <= 8; ++k)
            flags[k - 1] = CounterEnable[k] == 1 ? 1 : 0;
        const auto i = static_cast<std::size_t>(iCh - 1);
        flags[i] = static_cast<std::int16_t>(1 - flags[i]);
        digits = BitsToHex(flags);
        CounterEnable[0] = iCh;
    } else {
        digits = iVal == 0 ? "00" : "FF";
        CounterEnable[0] = iVal == 0 ? 0 : 255;
    }
    const auto frame = BuildFrame(Protocol::Own, mainStationHex(), WriteEnableRequest(digits));
    engine_->SendEnableWrite(frame.value_or(std::string()));
}

void FrmMain::DSResponse() {
    const Outcome outcome = engine_->EnableWriteOutcome();
    const int target = CounterEnable[0];
    if (!OutcomeApplies(outcome)) {
        if (env_.beep) env_.beep();
        // Undo the operator's click on screen; the stored flags never changed.
        if (target >= 1 && target <= 8 && frmSub != nullptr) {
            const auto k = static_cast<std::size_t>(target);
            frmSub->SetFlagSilently(target, !frmSub->chkDS[k]->isChecked());
        }
        return;
    }
    if (target == 0 || target == 255) {
        for (std::size_t k = 1; k <= 8; ++k) {
            CounterEnable[k] = target == 255 ? 1 : 0;
            if (frmSub != nullptr) frmSub->SetFlagSilently(static_cast<int>(k), target == 255);
        }
    } else if (target >= 1 && target <= 8) {
        const auto k = static_cast<std::size_t>(target);
        CounterEnable[k] = static_cast<std::int16_t>(1 - CounterEnable[k]);
    }
}

}  // namespace tally
