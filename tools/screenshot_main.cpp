// Takes the README's pictures: the window on line to the simulator after a few
// reads, and with a second file name the trend chart beside it after a minute of
// reads from counters at zero; with --line-monitor, the line monitor beside the
// window after reads in each protocol; with --stations, the Stations view beside
// the window reading a line of modules, two of them absent.
// Usage: tallyscope-screenshot OUTPUT.png [TREND.png]
//        tallyscope-screenshot --line-monitor OUTPUT.png
//        tallyscope-screenshot --stations OUTPUT.png
// (with the simulator linked as COM1 beside the executable, answering as station 1).
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
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include "app/window/frm_main.h"
#include "app/window/system_environment.h"
#include "ui/windows/frm_line.h"
#include "ui/windows/frm_stations.h"
#include "ui/windows/frm_trend.h"

namespace {

// The main window and the chart side by side, tops aligned, on the desktop's grey.
QImage sideBySide(const QPixmap& left, const QPixmap& right) {
    constexpr int kGap = 16;
    QImage image(left.width() + kGap + right.width(), std::max(left.height(), right.height()),
                 QImage::Format_RGB32);
    image.fill(QColor(0xD8, 0xD8, 0xD8));
    QPainter painter(&image);
    painter.drawPixmap(0, 0, left);
    painter.drawPixmap(left.width() + kGap, 0, right);
    return image;
}

void runEventsFor(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
}

// A few exchanges in each protocol fill the monitor's rows.
bool lineMonitorShot(tally::FrmMain& w, const QString& output) {
    w.mnuLine->trigger();
    w.frmLine->resize(1000, w.height());
    w.chkDC->setChecked(true);
    w.chkDI->setChecked(true);
    w.chkDO->setChecked(true);
    w.txtAutoRead->setText(QStringLiteral("1"));
    w.chkRead->setChecked(true);
    for (int protocol : {1, 2, 0}) {
        w.optProtocol[static_cast<std::size_t>(protocol)]->setChecked(true);
        runEventsFor(2000);
    }
    // On the faulty line the last read may have failed: the rows are what counts here.
    return sideBySide(w.grab(), w.frmLine->grab()).save(output) &&
           w.frmLine->Model().rowCount() > 0;
}

// Stations 1-8 listed, station 3 chosen as the main window's and two of its outputs
// switched on; the absent ones are lost after three cycles.
bool stationsShot(tally::FrmMain& w, const QString& output) {
    w.mnuStations->trigger();
    w.frmStations->resize(1240, w.height());
    w.frmStations->txtStationList->setText(QStringLiteral("1-8"));
    w.frmStations->txtStationList_Change();
    w.chkDC->setChecked(true);
    w.chkDI->setChecked(true);
    w.chkDO->setChecked(true);
    w.txtAutoRead->setText(QStringLiteral("1"));
    w.chkRead->setChecked(true);
    runEventsFor(2500);
    w.ChooseStation(3);
    w.cmdDO[2]->click();
    runEventsFor(300);
    w.cmdDO[5]->click();
    runEventsFor(4000);
    return sideBySide(w.grab(), w.frmStations->grab()).save(output);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const bool lineMonitor = QByteArray(argv[1]) == "--line-monitor";
    const bool stations = QByteArray(argv[1]) == "--stations";
    if ((lineMonitor || stations) && argc < 3) return 2;
    const bool trend = !lineMonitor && !stations && argc > 2;
    // The windows' remembered places go to a folder of their own, not the user's.
    QTemporaryDir userConfig;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, userConfig.path());
    // Ports beside the executable; the program's own settings file is kept out of it.
    const tally::PortEnvironment ports = tally::ApplicationPortEnvironment();
    tally::SystemEnvironment system(ports, QDir::tempPath().toStdString());
    tally::AppEnvironment env = system.env();
    env.listPorts = [] { return std::vector<int>{1}; };

    tally::FrmMain w(env);
    w.Form_Load();
    w.show();
    w.cmbStation->setEditText(QStringLiteral("1"));
    w.cmdCOMM->click();
    if (lineMonitor) return lineMonitorShot(w, QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    if (stations) return stationsShot(w, QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    QElapsedTimer elapsed;
    if (trend) {
        // Counters from zero, so the chart shows them climbing at their own speeds.
        w.cmbDC->setCurrentText(QStringLiteral("All"));
        w.chkCTClear->setChecked(true);
        elapsed.start();
        while (elapsed.elapsed() < 1000) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
    }
    w.txtCTMulti[1]->setText(QStringLiteral("0.5"));
    w.txtCTMulti[2]->setText(QStringLiteral("2.5"));
    w.chkDC->setChecked(true);
    w.chkDI->setChecked(true);
    w.chkDO->setChecked(true);
    w.txtAutoRead->setText(QStringLiteral("1"));
    w.chkRead->setChecked(true);
    if (trend) {
        w.mnuTrend->trigger();
        w.frmTrend->resize(720, w.height());
        w.frmTrend->cmbTrendSpan->setCurrentText(QStringLiteral("1 min"));
    }
    elapsed.start();
    while (elapsed.elapsed() < (trend ? 58000 : 2500)) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    bool saved = w.grab().save(QString::fromLocal8Bit(argv[1]));
    if (trend) {
        w.frmTrend->Refresh();
        saved =
            saved && sideBySide(w.grab(), w.frmTrend->grab()).save(QString::fromLocal8Bit(argv[2]));
    }
    return saved && w.labReport->text() == QStringLiteral("Read OK") ? 0 : 1;
}
