// Find Module: the search dialog on the window's port, and "Use".
#include <QComboBox>
#include <QRadioButton>

#include "app/window/frm_main.h"
#include "numbers/number_text.h"
#include "ui/windows/frm_scan.h"

namespace tally {

void FrmMain::mnuScan_Click() {
    if (LineOpen() || search_->Running()) return;
    const auto port = ToWholeNumber16(cmbCOMM->currentText().toStdString());
    const int portNumber = port && *port >= 1 ? *port : 0;
    searchPort_->SetCommPort(portNumber);
    FrmScan dialog(*search_, *env_.timers, portNumber, cmbBaud->currentText().toInt(),
                   ProtocolFromIndex(ProtocolIndex), this);
    dialog.exec();
    if (dialog.Chosen()) UseFoundModule(*dialog.Chosen());
}

void FrmMain::UseFoundModule(const FoundModule& module) {
    // The handlers run as for the operator's own changes.
    cmbBaud->setCurrentText(QString::number(module.baud));
    cmbStation->setEditText(QString::number(module.station));
    optProtocol[static_cast<std::size_t>(module.protocol)]->setChecked(true);
}

}  // namespace tally
