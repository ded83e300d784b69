// Tallyscope: the service and monitoring tool for the VL4300 counter module.
#include <QApplication>
#include <QMessageBox>

#include "app/frm_main.h"
#include "engine/qt_timer.h"
#include "engine/system_clock.h"
#include "serial/port_discovery.h"
#include "serial/port_resolver.h"
#include "serial/qt_serial_component.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyscope"));

    const tally::PortEnvironment ports = tally::ApplicationPortEnvironment();
    tally::QtSerialComponent serial(ports);
    tally::SystemClock clock;
    tally::QtTimerFactory timers;

    tally::AppEnvironment env;
    env.port = &serial;
    env.clock = &clock;
    env.timers = &timers;
    env.appDir = QCoreApplication::applicationDirPath().toStdString();
    env.listPorts = [ports] { return tally::ListPortNumbers(ports); };
    env.describePort = [ports](int n) {
        return QString::fromStdString(tally::ResolvePortDetails(n, ports).description);
    };
    env.beep = [] { QApplication::beep(); };
    env.messageBox = [](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
        box.exec();
    };

    tally::FrmMain window(env);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
