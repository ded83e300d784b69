// The menu bar: every window beyond the main one is reached from here.
#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "app/frm_main.h"
#include "numbers/number_text.h"
#include "ui/frm_line.h"
#include "ui/frm_log.h"
#include "ui/frm_trend.h"

namespace tally {
namespace {

QMenu* namedMenu(QMenuBar* bar, const QString& title, const QString& name) {
    QMenu* menu = bar->addMenu(title);
    menu->setObjectName(name);
    return menu;
}

QAction* namedAction(QMenu* menu, const QString& text, const QString& name,
                     const QKeySequence& shortcut = QKeySequence()) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    return action;
}

}  // namespace

void FrmMain::buildMenus() {
    mnuFile = namedMenu(menuBar, tr("&File"), QStringLiteral("mnuFile"));
    mnuView = namedMenu(menuBar, tr("&View"), QStringLiteral("mnuView"));
    mnuTools = namedMenu(menuBar, tr("&Tools"), QStringLiteral("mnuTools"));
    mnuHelp = namedMenu(menuBar, tr("&Help"), QStringLiteral("mnuHelp"));

    mnuLog = namedAction(mnuFile, tr("&Log to CSV…"), QStringLiteral("mnuLog"),
                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    connect(mnuLog, &QAction::triggered, this, [this] { mnuLog_Click(); });
    mnuFile->addSeparator();
    mnuExit = namedAction(mnuFile, tr("E&xit"), QStringLiteral("mnuExit"));
    // Leaves through the close box's path, so shut-down runs exactly once.
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    mnuLine = namedAction(mnuView, tr("&Line Monitor"), QStringLiteral("mnuLine"),
                          QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuLine, &QAction::triggered, this, [this] { mnuLine_Click(); });

    mnuTrend = namedAction(mnuView, tr("&Trend Chart"), QStringLiteral("mnuTrend"),
                           QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(mnuTrend, &QAction::triggered, this, [this] { mnuTrend_Click(); });

    mnuScan = namedAction(mnuTools, tr("Find &Module\u2026"), QStringLiteral("mnuScan"),
                          QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuScan->setStatusTip(tr("Search baud rates, protocols and stations for a module"));
    connect(mnuScan, &QAction::triggered, this, [this] { mnuScan_Click(); });

    mnuAbout = namedAction(mnuHelp, tr("&About Tallyscope"), QStringLiteral("mnuAbout"));
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

void FrmMain::mnuLine_Click() {
    if (frmLine == nullptr) {
        frmLine = new FrmLine(*lineHistory_, this);
        frmLine->messageBox = env_.messageBox;
    }
    frmLine->show();
    frmLine->raise();
    frmLine->activateWindow();
}

void FrmMain::mnuLog_Click() {
    if (frmLog == nullptr) {
        frmLog = new FrmLog(
            engine().Events(), [this] { return logContext(); }, this);
        // The operator may not be looking at the log window: the status line keeps the reason.
        connect(frmLog, &FrmLog::logFailed, labReport, &QLabel::setToolTip);
    }
    frmLog->show();
    frmLog->raise();
    frmLog->activateWindow();
}

LogContext FrmMain::logContext() const {
    LogContext context;
    // The multiplier as the monitor's scaled column takes it right now.
    for (std::size_t i = 0; i < 8; ++i)
        context.multipliers[i] = Multiplier(static_cast<int>(i) + 1);
    context.intervalSeconds = AutoReadSeconds;
    return context;
}

void FrmMain::mnuTrend_Click() {
    if (frmTrend == nullptr) frmTrend = new FrmTrend(*trendModel_, this);
    frmTrend->show();
    frmTrend->raise();
    frmTrend->activateWindow();
}

void FrmMain::mnuAbout_Click() {
    QMessageBox::about(this, tr("About Tallyscope"),
                       tr("<p><b>Tallyscope %1</b></p>"
                          "<p>Service and monitoring tool for the VL4300 counter module.</p>"
                          "<p>Built with Qt %2, running on Qt %3.</p>"
                          "<p>Licensed under the MIT License.</p>")
                           .arg(QStringLiteral(TALLYSCOPE_VERSION), QStringLiteral(QT_VERSION_STR),
                                QString::fromLatin1(qVersion())));
}

}  // namespace tally
