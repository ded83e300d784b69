// The menu bar: every window beyond the main one is reached from here.
#include <QAction>
#include <QDesktopServices>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

#include "app/window/frm_main.h"
#include "app/window/manual_location.h"
#include "numbers/number_text.h"
#include "ui/models/stations_model.h"
#include "ui/windows/frm_line.h"
#include "ui/windows/frm_log.h"
#include "ui/windows/frm_stations.h"
#include "ui/windows/frm_trend.h"

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

    mnuStations = namedAction(mnuView, tr("&Stations"), QStringLiteral("mnuStations"),
                              QKeySequence(Qt::CTRL | Qt::Key_M));
    mnuStations->setStatusTip(tr("Read every station of a list on the line, side by side"));
    connect(mnuStations, &QAction::triggered, this, [this] { mnuStations_Click(); });

    mnuScan = namedAction(mnuTools, tr("Find &Module\u2026"), QStringLiteral("mnuScan"),
                          QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuScan->setStatusTip(tr("Search baud rates, protocols and stations for a module"));
    connect(mnuScan, &QAction::triggered, this, [this] { mnuScan_Click(); });

    mnuManual = namedAction(mnuHelp, tr("&Manual"), QStringLiteral("mnuManual"),
                            QKeySequence(QKeySequence::HelpContents));
    mnuManual->setStatusTip(tr("Open the user's guide"));
    connect(mnuManual, &QAction::triggered, this, [this] { mnuManual_Click(); });
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
    // The other stations the Stations view reads, each with its own.
    for (const int station : stationsModel_->Stations()) {
        if (station != MainStation())
            context.stationMultipliers[station] = stationsModel_->MultipliersOf(station);
    }
    context.intervalSeconds = AutoReadSeconds;
    return context;
}

void FrmMain::mnuTrend_Click() {
    if (frmTrend == nullptr) frmTrend = new FrmTrend(*trendModel_, this);
    frmTrend->show();
    frmTrend->raise();
    frmTrend->activateWindow();
}

std::filesystem::path FrmMain::ManualFile() const {
    return ChooseManual(ManualPlacesFor(env_.appDir));
}

void FrmMain::mnuManual_Click() {
    const std::filesystem::path manual = ManualFile();
    const QString path = QString::fromStdU16String(manual.u16string());
    if (manual.empty()) {
        if (env_.messageBox) {
            env_.messageBox(tr("Manual"), tr("The manual was not found beside this program. "
                                             "Run \"man tallyscope\" or \"tallyscope --help\"."));
        }
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)) && env_.messageBox)
        env_.messageBox(tr("Manual"), tr("No program was found to open the manual:\n%1").arg(path));
}

void FrmMain::mnuAbout_Click() {
    const std::filesystem::path manual = ManualFile();
    const QString manualText =
        manual.empty() ? tr("<p>The manual: <i>man tallyscope</i>.</p>")
                       : tr("<p>The manual: Help \u2192 Manual (F1), which opens %1; also "
                            "<i>man tallyscope</i>.</p>")
                             .arg(QString::fromStdU16String(manual.u16string()).toHtmlEscaped());
    QMessageBox::about(this, tr("About Tallyscope"),
                       tr("<p><b>Tallyscope %1</b></p>"
                          "<p>Service and monitoring tool for the VL4300 counter module.</p>"
                          "%4"
                          "<p>Built with Qt %2, running on Qt %3.</p>"
                          "<p>Licensed under the MIT License.</p>")
                           .arg(QStringLiteral(TALLYSCOPE_VERSION), QStringLiteral(QT_VERSION_STR),
                                QString::fromLatin1(qVersion()), manualText));
}

}  // namespace tally
