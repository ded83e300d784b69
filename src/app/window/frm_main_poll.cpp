// The window's side of the poll cycle and of reply decoding.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/window/frm_main.h"
#include "numbers/number_text.h"
#include "protocol/protocol.h"
#include "ui/models/counter_monitor.h"
#include "ui/models/read_confirmation.h"
#include "ui/windows/field_routines.h"
#include "ui/windows/lamp.h"
#include "ui/windows/widget_state.h"

namespace tally {

void FrmMain::chkDC_Click() {
    const int ticked = ReadBoxValue(ReadKind::Counters) + ReadBoxValue(ReadKind::Inputs) +
                       ReadBoxValue(ReadKind::Outputs);
    chkRead->setEnabled(ticked > 0 && LineOpen());
    if (!chkRead->isEnabled() && chkRead->checkState() != Qt::Unchecked) {
        chkRead->setCheckState(Qt::Unchecked);
    }
}

void FrmMain::chkRead_Click() {
    const bool ticked = ReadTicked();
    txtAutoRead->setEnabled(!ticked);
    if (!ticked) return;
    const double seconds = ClampToBounds(LeadingNumber(txtAutoRead->text().toStdString()), 0, 60);
    engine_->ReadTicked(RoundToInt16(seconds));
}

void FrmMain::txtAutoRead_Change() {
    const QString text = txtAutoRead->text();
    QString corrected;
    if (text.isEmpty()) {
        corrected = QStringLiteral("0");
    } else {
        const double value = LeadingNumber(text.toStdString());
        if (value > 60) {
            corrected = QStringLiteral("60");
        } else if (value < 0) {
            corrected = QStringLiteral("0");
        }
    }
    if (corrected.isEmpty()) return;
    txtAutoRead->setText(corrected);
    SelectAllText(txtAutoRead);
}

// --- PollHost ---

bool FrmMain::LineOpen() const {
    return shpCOMM->filled();
}

bool FrmMain::ReadTicked() const {
    return chkRead->checkState() == Qt::Checked;
}

void FrmMain::UntickRead() {
    chkRead->setCheckState(Qt::Unchecked);
}

int FrmMain::ReadBoxValue(ReadKind kind) const {
    const QCheckBox* box = kind == ReadKind::Counters ? chkDC
                           : kind == ReadKind::Inputs ? chkDI
                                                      : chkDO;
    // A greyed box (possible through the settings file) does not read.
    return box->checkState() == Qt::Checked ? 1 : 0;
}

void FrmMain::ShowStatus(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (labReport->text() != shown) labReport->setText(shown);
}

int FrmMain::CounterSelectorNumber() const {
    return RoundToInt16(LeadingNumber(cmbDC->currentText().toStdString()));
}

void FrmMain::ClearBusyMarkers() {
    if (IsBusy(this)) SetBusy(this, false);
    if (IsBusy(fmeDO)) SetBusy(fmeDO, false);
    if (IsBusy(fmeCT)) {
        if (chkCTSet->checkState() != Qt::Unchecked) chkCTSet->setCheckState(Qt::Unchecked);
        if (chkCTClear->checkState() != Qt::Unchecked) chkCTClear->setCheckState(Qt::Unchecked);
        SetBusy(fmeCT, false);
    }
}

void FrmMain::DecodeReply() {
    ApplyReply(
        DecodeReplyBytes(RxBuffer, PollStep, ProtocolFromIndex(ProtocolIndex), PendingFrame));
}

// --- Reply decoding applied to the window ---

void FrmMain::ApplyReply(const ReplyMeaning& meaning) {
    switch (meaning.kind) {
        // A value the reply did not carry is not confirmed by it.
        case ReplyMeaning::Kind::Counters:
            for (std::size_t i = 0; i < 8; ++i) {
                if (meaning.counters[i]) CounterValue[i] = *meaning.counters[i];
                confirmation_->Set(ReadKind::Counters, i, meaning.counters[i].has_value());
            }
            ShowCounters();
            break;
        case ReplyMeaning::Kind::Inputs:
            for (std::size_t i = 0; i < 8; ++i) {
                if (meaning.channels[i]) InputState[i] = *meaning.channels[i];
                confirmation_->Set(ReadKind::Inputs, i, meaning.channels[i].has_value());
            }
            ShowInputs();
            break;
        case ReplyMeaning::Kind::Outputs:
            for (std::size_t i = 0; i < 8; ++i) {
                if (meaning.channels[i]) OutputState[i + 1] = *meaning.channels[i];
                confirmation_->Set(ReadKind::Outputs, i, meaning.channels[i].has_value());
            }
            ShowOutputs();
            break;
        case ReplyMeaning::Kind::OutputAck:
            ApplyOutputAck();
            break;
        case ReplyMeaning::Kind::ClearAck: {
            // The channel is the one selected now, when the acknowledgement arrives.
            const int k = CounterSelectorNumber();
            // The module has just set what it acknowledges.
            if (k >= 1 && k <= 8) {
                const auto i = static_cast<std::size_t>(k - 1);
                CounterValue[i] = 0;
                txtCTRaw[i]->setText(QStringLiteral("0"));
                txtCTVal[i]->setText(QStringLiteral("0.0"));
                confirmation_->Set(ReadKind::Counters, i, true);
            } else {
                CounterValue.fill(0);
                ShowCounters();
                confirmation_->SetAll(ReadKind::Counters, true);
            }
            break;
        }
        case ReplyMeaning::Kind::PresetAck: {
            const double v = LeadingNumber(txtCTSet->text().toStdString());
            const int k = CounterSelectorNumber();
            if (k >= 1 && k <= 8) {
                CounterValue[static_cast<std::size_t>(k - 1)] = v;
                ShowCounterRow(k);
                confirmation_->Set(ReadKind::Counters, static_cast<std::size_t>(k - 1), true);
            } else {
                CounterValue.fill(v);
                ShowCounters();
                confirmation_->SetAll(ReadKind::Counters, true);
            }
            break;
        }
        case ReplyMeaning::Kind::EnableStatus:
            showEnableStatus(meaning.enableFlags);
            break;
        case ReplyMeaning::Kind::Nothing:
            break;
    }
}

// Each write names the state it sets, so an acknowledged output is known.
void FrmMain::ApplyOutputAck() {
    const int target = OutputState[0];
    if (target == 0 || target == 255) {
        const std::int16_t state = target == 255 ? 1 : 0;
        confirmation_->SetAll(ReadKind::Outputs, true);
        for (std::size_t k = 1; k <= 8; ++k) {
            OutputState[k] = state;
            showOutputButton(k, state == 1);
        }
    } else if (target >= 1 && target <= 8) {
        const auto k = static_cast<std::size_t>(target);
        OutputState[k] = static_cast<std::int16_t>(1 - OutputState[k]);
        confirmation_->Set(ReadKind::Outputs, k - 1, true);
        showOutputButton(k, OutputState[k] == 1);
    }
}

void FrmMain::ShowInputs() {
    for (std::size_t i = 0; i < 8; ++i)
        shpDI[i]->setFilled(InputState[i] == 1);
}

void FrmMain::ShowOutputs() {
    for (std::size_t k = 1; k <= 8; ++k)
        showOutputButton(k, OutputState[k] == 1);
}

void FrmMain::showOutputButton(std::size_t k, bool on) {
    if (k < 1 || k > 8) return;
    const bool confirmed = confirmation_->Confirmed(ReadKind::Outputs, k - 1);
    SetBackColor(cmdDO[k], !on ? kOffColor : confirmed ? kOnColor : kUnconfirmedOnColor);
}

void FrmMain::showConfirmation() {
    for (std::size_t i = 0; i < 8; ++i) {
        const bool counter = confirmation_->Confirmed(ReadKind::Counters, i);
        SetConfirmed(txtCTRaw[i], counter);
        SetConfirmed(txtCTVal[i], counter);
        shpDI[i]->setConfirmed(confirmation_->Confirmed(ReadKind::Inputs, i));
        // A button shows on or off as it was last set; only an "on" changes colour.
        QPushButton* button = cmdDO[i + 1];
        if (BackColor(button) != kOffColor) showOutputButton(i + 1, true);
    }
}

void FrmMain::ShowCounterRow(int k) {
    if (k < 1 || k > 8) return;
    const auto i = static_cast<std::size_t>(k - 1);
    const CounterRowTexts row = CounterRow(CounterValue[i], Multiplier(k));
    // An unchanged text is not set again: each set repaints the field.
    const auto show = [](QLineEdit* field, const std::string& text) {
        const QString shown = QString::fromStdString(text);
        if (field->text() != shown) field->setText(shown);
    };
    show(txtCTRaw[i], row.raw);
    show(txtCTVal[i], row.scaled);
}

void FrmMain::ShowCounters() {
    for (int k = 1; k <= 8; ++k)
        ShowCounterRow(k);
}

void FrmMain::showEnableStatus(const std::array<std::int16_t, 8>& flags) {
    if (frmSub == nullptr) return;
    // Busy while the boxes are set, so that setting them starts no write.
    frmSub->SetBusy(true);
    for (int k = 1; k <= 8; ++k) {
        const auto u = static_cast<std::size_t>(k);
        CounterEnable[u] = flags[u - 1];
        frmSub->chkDS[u]->setChecked(flags[u - 1] == 1);
    }
    frmSub->SetBusy(false);
    // Polling pauses while the dialog is open; nothing else may read the port then.
    const Qt::CheckState readWas = chkRead->checkState();
    chkRead->setCheckState(Qt::Unchecked);
    frmSub->exec();
    // A port that failed meanwhile, or the program ending, leaves "Read" off.
    if (LineOpen() && !unloaded_) chkRead->setCheckState(readWas);
}

}  // namespace tally
