#include "app/window/system_environment.h"

#include <QApplication>
#include <QMessageBox>

#include "serial/adapter_lookup.h"
#include "serial/port_discovery.h"

namespace tally {

SystemEnvironment::SystemEnvironment(const PortEnvironment& ports,
                                     const std::filesystem::path& appDir)
    : serial_(ports) {
    env_.port = &serial_;
    env_.clock = &clock_;
    env_.timers = &timers_;
    env_.appDir = appDir;
    env_.settings = ChooseSettingsLocation(appDir, SettingsBesideProgram(appDir), ports.configDir);
    env_.listPorts = [ports] { return ListPortNumbers(ports); };
    env_.portFolders = {"/dev", ports.appDir, ports.configDir};
    env_.describePort = [ports](int n) {
        const ResolvedPort port = ResolvePortDetails(n, ports);
        return QString::fromStdString(PortToolTip(port, LookUpAdapter(port.device)));
    };
    env_.portListDetail = [ports](int n) {
        const ResolvedPort port = ResolvePortDetails(n, ports);
        return QString::fromStdString(PortListDetail(port, LookUpAdapter(port.device)));
    };
    env_.beep = [] { QApplication::beep(); };
    env_.messageBox = [](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
        box.exec();
    };
}

}  // namespace tally
