// Takes the README's picture: the window on line to the simulator, after a few
// reads. Usage: tallyscope-screenshot OUTPUT.png (with the simulator linked as
// COM1 beside the executable and answering as station 1).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QThread>

#include "app/frm_main.h"
#include "app/system_environment.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
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
    w.txtCTMulti[1]->setText(QStringLiteral("0.5"));
    w.txtCTMulti[2]->setText(QStringLiteral("2.5"));
    w.chkDC->setChecked(true);
    w.chkDI->setChecked(true);
    w.chkDO->setChecked(true);
    w.txtAutoRead->setText(QStringLiteral("1"));
    w.chkRead->setChecked(true);
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 2500) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    const bool saved = w.grab().save(QString::fromLocal8Bit(argv[1]));
    return saved && w.labReport->text() == QStringLiteral("Read OK") ? 0 : 1;
}
