// Takes the README's pictures: the window on line to the simulator, after a few
// reads; with --line-monitor, the line monitor beside it as well.
// Usage: tallyscope-screenshot OUTPUT.png [--line-monitor] (with the simulator
// linked as COM1 beside the executable and answering as station 1).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>

#include "app/frm_main.h"
#include "app/system_environment.h"
#include "ui/frm_line.h"

namespace {

void RunEventsFor(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
}

// Both windows side by side on one picture, the main window on the left.
QPixmap SideBySide(const QPixmap& left, const QPixmap& right) {
    const int gap = 16;
    QPixmap both(left.width() + gap + right.width(), std::max(left.height(), right.height()));
    both.fill(QColor(0x5A, 0x6E, 0x80));
    QPainter painter(&both);
    painter.drawPixmap(0, 0, left);
    painter.drawPixmap(left.width() + gap, 0, right);
    return both;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The user's own window sizes are neither read nor changed.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const bool withMonitor = argc > 2 && QByteArray(argv[2]) == "--line-monitor";
    // Ports beside the executable; the program's own settings file is kept out of it.
    const tally::PortEnvironment ports = tally::ApplicationPortEnvironment();
    tally::SystemEnvironment system(ports, QDir::tempPath().toStdString());
    tally::AppEnvironment env = system.env();
    env.listPorts = [] { return std::vector<int>{1}; };

    tally::FrmMain w(env);
    w.Form_Load();
    w.show();
    if (withMonitor) {
        w.mnuLine->trigger();
        w.frmLine->resize(1000, w.height());
    }
    w.cmbStation->setEditText(QStringLiteral("1"));
    w.cmdCOMM->click();
    w.txtCTMulti[1]->setText(QStringLiteral("0.5"));
    w.txtCTMulti[2]->setText(QStringLiteral("2.5"));
    w.chkDC->setChecked(true);
    w.chkDI->setChecked(true);
    w.chkDO->setChecked(true);
    w.txtAutoRead->setText(QStringLiteral("1"));
    w.chkRead->setChecked(true);
    RunEventsFor(2500);
    if (withMonitor) {
        // A few exchanges in each protocol fill the monitor's rows.
        for (int protocol : {1, 2, 0}) {
            w.optProtocol[static_cast<std::size_t>(protocol)]->setChecked(true);
            RunEventsFor(2000);
        }
    }
    const QPixmap shot = withMonitor ? SideBySide(w.grab(), w.frmLine->grab()) : w.grab();
    const bool saved = shot.save(QString::fromLocal8Bit(argv[1]));
    // On the faulty line the last read may have failed: the rows are what counts there.
    const bool shown = withMonitor ? w.frmLine->Model().rowCount() > 0
                                   : w.labReport->text() == QStringLiteral("Read OK");
    return saved && shown ? 0 : 1;
}
