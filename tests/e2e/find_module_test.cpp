// Find Module against the simulator: the module is found where it is, in every
// protocol, and "Use" makes the next Open Port and Read work; a search never writes.
#include <QApplication>
#include <QProgressBar>
#include <QTableWidget>
#include <QTimer>

#include "live_window_fixture.h"
#include "ui/windows/frm_scan.h"

namespace tally::e2e {
namespace {

class FindModule : public LiveWindowTest {
  protected:
    // Opens the dialog from the menu; steps run inside its own modal loop.
    void inDialog(const std::function<void(FrmScan&)>& steps) {
        bool ran = false;
        QTimer::singleShot(0, w.get(), [&] {
            auto* dialog = qobject_cast<FrmScan*>(QApplication::activeModalWidget());
            ran = dialog != nullptr;
            if (!dialog) return;
            steps(*dialog);
            if (dialog->isVisible()) dialog->cmdScanClose->click();
        });
        w->mnuScan->trigger();
        EXPECT_TRUE(ran) << "no modal Find Module dialog";
    }
};

TEST_F(FindModule, FindsTheModuleInEachProtocolAndUseMakesOpenAndReadWork) {
    ASSERT_TRUE(startSimulator(7, kStillSeed, {"--baud", "9600"}));
    startWindow();
    for (int protocol : {kOwn, kModbusAscii, kModbusRtu}) {
        const QString caption =
            QString::fromStdString(ProtocolCaption(ProtocolFromIndex(protocol)));
        SCOPED_TRACE(caption.toStdString());
        inDialog([&](FrmScan& dialog) {
            if (protocol == kOwn) {  // every choice ticked, as the dialog opens
                QString choices = dialog.txtScanFrom->text() + "-" + dialog.txtScanTo->text() +
                                  "/" + dialog.txtScanWait->text();
                for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
                    choices += " " + box->text() + (box->isChecked() ? "+" : "-");
                EXPECT_EQ(choices,
                          "0-31/50 1200+ 2400+ 4800+ 9600+ 14400+ 19200+ 28800+ 57600+ Korvi+ "
                          "Modbus Ascii+ Modbus RTU+ Stop at the first module found+");
            }
            // Only 9600 and 19200 baud, stations 6-8, every module, not just the first.
            for (std::size_t i = 0; i < kBaudRates.size(); ++i)
                dialog.chkScanBaud[i]->setChecked(kBaudRates[i] == 9600 || kBaudRates[i] == 19200);
            dialog.txtScanFrom->setText(QStringLiteral("6"));
            dialog.txtScanTo->setText(QStringLiteral("8"));
            dialog.chkScanFirst->setChecked(false);
            dialog.cmdScanStart->click();
            w->cmdCOMM->click();  // the window cannot go on line meanwhile
            EXPECT_EQ(w->labReport->text(), QStringLiteral("Off Line"));
            ASSERT_TRUE(WaitUntil([this] { return !w->moduleSearch().Running(); }, 10000));
            EXPECT_EQ(dialog.prgScan->value(), dialog.prgScan->maximum());
            QStringList found;  // the window's protocol comes first: the order changes
            for (int r = 0; r < dialog.tblScan->rowCount(); ++r) {
                const QString name = dialog.tblScan->item(r, 1)->text();
                found << dialog.tblScan->item(r, 0)->text() + "/" + name + "/" +
                             dialog.tblScan->item(r, 2)->text();
                if (name == caption) dialog.tblScan->selectRow(r);
            }
            found.sort();
            EXPECT_EQ(found,
                      QStringList({"9600/Korvi/7", "9600/Modbus Ascii/7", "9600/Modbus RTU/7"}));
            dialog.cmdScanUse->click();
        });
        EXPECT_EQ(w->cmbBaud->currentText(), QStringLiteral("9600"));
        EXPECT_EQ(w->cmbStation->currentText(), QStringLiteral("7"));
        EXPECT_TRUE(w->optProtocol[static_cast<std::size_t>(protocol)]->isChecked());
        w->cmdCOMM->click();
        ASSERT_EQ(w->labReport->text(), QStringLiteral("On Line"));
        EXPECT_FALSE(w->mnuScan->isEnabled()) << "the search needs the port to itself";
        EXPECT_TRUE(readOnce(true, true, true));
        EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
        w->cmdCOMM->click();
    }
    EXPECT_EQ(sim.Count("writes"), 0);
}

}  // namespace
}  // namespace tally::e2e
