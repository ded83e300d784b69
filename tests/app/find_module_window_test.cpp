// The Find Module dialog as the main window opens it: off line only, every
// choice ticked, nothing sent when nothing is left to try.
#include <QAction>
#include <QApplication>
#include <QTimer>

#include "ui/frm_scan.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

using FindModuleWindow = WindowTest;

TEST_F(FindModuleWindow, OpensOffLineWithEveryChoiceTickedAndSendsNothingWithoutAProtocol) {
    EXPECT_EQ(w->mnuScan->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    bool shown = false;
    QTimer::singleShot(0, w.get(), [&] {
        auto* dialog = qobject_cast<FrmScan*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tallyscope, Find Module"));
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(dialog->chkScanBaud[i]->text(), w->cmbBaud->itemText(i));
            EXPECT_TRUE(dialog->chkScanBaud[i]->isChecked());
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(dialog->chkScanProto[i]->text(), w->optProtocol[i]->text());
            EXPECT_TRUE(dialog->chkScanProto[i]->isChecked());
            dialog->chkScanProto[i]->setChecked(false);
        }
        EXPECT_EQ(dialog->txtScanFrom->text() + "-" + dialog->txtScanTo->text() + "/" +
                      dialog->txtScanWait->text(),
                  QStringLiteral("0-31/50"));
        EXPECT_TRUE(dialog->chkScanFirst->isChecked());
        dialog->txtScanWait->setText(QStringLiteral("5"));
        dialog->cmdScanStart->click();
        EXPECT_EQ(dialog->txtScanWait->text(), QStringLiteral("20"));
        EXPECT_FALSE(w->moduleSearch().Running());
        dialog->cmdScanClose->click();
    });
    w->mnuScan->trigger();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_FALSE(port.PortOpen());

    openPort();
    EXPECT_FALSE(w->mnuScan->isEnabled()) << "the search needs the port to itself";
}

}  // namespace
}  // namespace tally::testing
