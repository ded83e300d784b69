// The menu bar: every window beyond the main one is reached from here.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "app/frm_main.h"
#include "ui/frm_line.h"

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

    mnuExit = namedAction(mnuFile, tr("E&xit"), QStringLiteral("mnuExit"));
    // Leaves through the close box's path, so shut-down runs exactly once.
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    mnuLine = namedAction(mnuView, tr("&Line Monitor"), QStringLiteral("mnuLine"),
                          QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuLine, &QAction::triggered, this, [this] { mnuLine_Click(); });

    mnuScan = namedAction(mnuTools, tr("Find &Module\u2026"), QStringLiteral("mnuScan"),
                          QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuScan->setStatusTip(tr("Search baud rates, protocols and stations for a module"));
    connect(mnuScan, &QAction::triggered, this, [this] { mnuScan_Click(); });

    mnuAbout = namedAction(mnuHelp, tr("&About Tallyscope"), QStringLiteral("mnuAbout"));
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

void FrmMain::mnuLine_Click() {
    if (frmLine == nullptr) {
        frmLine = new FrmLine(this);
        frmLine->messageBox = env_.messageBox;
        engine().Events().Add(frmLine);
    }
    frmLine->show();
    frmLine->raise();
    frmLine->activateWindow();
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
