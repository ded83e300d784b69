// Tallyscope: the service and monitoring tool for the VL4300 counter module.
#include <QApplication>

#include "app/exit_signals.h"
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
    // From now on termination signals close the window, so the shut-down runs as for
    // its close box (start-up lets events run, before the window could end the program).
    tally::ExitSignals exitSignals;
    QObject::connect(&exitSignals, &tally::ExitSignals::received, &window, &QWidget::close);
    return QApplication::exec();
}
