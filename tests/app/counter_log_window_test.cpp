// The counter log window on the fake line: its entry, names and texts, the
// remembered file, and a file that cannot take a row.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QSettings>

#include "ui/frm_log.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

using CounterLogWindow = WindowTest;

TEST_F(CounterLogWindow, AFullDiskStopsLoggingWithTheReasonAndPollingGoesOn) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QList<QAction*> file = w->mnuFile->actions();
    ASSERT_LT(file.indexOf(w->mnuLog), file.indexOf(w->mnuExit));
    EXPECT_EQ(w->mnuLog->text(), QStringLiteral("&Log to CSV…"));
    EXPECT_EQ(w->mnuLog->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+L")));
    w->mnuLog->trigger();
    FrmLog* log = w->frmLog;
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->windowTitle(), QStringLiteral("Tallyscope, Counter Log"));
    EXPECT_EQ(log->cmdLogBrowse->text(), QStringLiteral("Browse…"));
    EXPECT_EQ(log->labLogState->text(), QStringLiteral("Not logging"));

    log->txtLogFile->setText(QStringLiteral("/dev/full"));
    log->cmdLogStart->click();
    EXPECT_EQ(log->cmdLogStart->text(), QStringLiteral("Stop Logging"));
    EXPECT_EQ(log->labLogState->text(), QStringLiteral("Logging to /dev/full: 0 rows"));

    openPort();
    w->chkDC->setChecked(true);
    w->txtAutoRead->setText(QStringLiteral("1"));
    w->chkRead->setChecked(true);
    answer(">00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r");
    const QString why =
        QStringLiteral("Logging stopped after 0 rows: /dev/full: No space left on device");
    EXPECT_EQ(log->labLogState->text(), why);
    EXPECT_EQ(w->labReport->toolTip(), why);
    EXPECT_EQ(log->cmdLogStart->text(), QStringLiteral("Start Logging"));
    EXPECT_EQ(w->txtCTRaw[0]->text(), QStringLiteral("16"));
    const std::size_t sent = port.writes.size();
    clock.Advance(1.0);
    tmrNow().Fire();
    EXPECT_EQ(port.writes.size(), sent + 1) << "polling stopped with the log";

    // The file is the user's to remember, not the settings file's.
    w->close();
    start();
    w->mnuLog->trigger();
    EXPECT_EQ(w->frmLog->txtLogFile->text(), QStringLiteral("/dev/full"));
    QFile ini(dir.filePath(QStringLiteral("InitialVL4300.ini")));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains("full"));
}

}  // namespace
}  // namespace tally::testing
