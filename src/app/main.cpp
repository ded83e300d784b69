// Tallyscope: the service and monitoring tool for the VL4300 counter module.
#include <QApplication>

#include "app/frm_main.h"
#include "app/system_environment.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyscope"));

    const tally::PortEnvironment ports = tally::ApplicationPortEnvironment();
    tally::SystemEnvironment system(ports, ports.appDir);
    tally::FrmMain window(system.env());
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
