// Tallyscope: the service and monitoring tool for the VL4300 counter module.
#include <QApplication>
#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/headless_host.h"
#include "app/headless_options.h"
#include "app/system_environment.h"

int main(int argc, char* argv[]) {
    const tally::CommandLine line =
        tally::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.mode) {
        case tally::CommandLine::Mode::Help:
            std::cout << tally::UsageText();
            return tally::kExitDone;
        case tally::CommandLine::Mode::Version:
            std::cout << "tallyscope " << TALLYSCOPE_VERSION << "\n";
            return tally::kExitDone;
        case tally::CommandLine::Mode::UsageError:
            std::cerr << "tallyscope: " << line.error << "\nTry 'tallyscope --help'.\n";
            return tally::kExitUsage;
        case tally::CommandLine::Mode::Headless: {
            // No display is needed or touched.
            QCoreApplication app(argc, argv);
            QCoreApplication::setApplicationName(QStringLiteral("Tallyscope"));
            return tally::RunHeadless(line.headless);
        }
        case tally::CommandLine::Mode::Window:
            break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyscope"));

    const tally::PortEnvironment ports = tally::ApplicationPortEnvironment();
    tally::SystemEnvironment system(ports, ports.appDir);
    tally::FrmMain window(system.env());
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
