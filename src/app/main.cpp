// Tallyscope: the service and monitoring tool for the VL4300 counter module.
#include <QApplication>
#include <QCoreApplication>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/exit_signals.h"
#include "app/headless/headless_host.h"
#include "app/options/command_line.h"
#include "app/window/app_icon.h"
#include "app/window/frm_main.h"
#include "app/window/system_environment.h"
#include "serial/user_config_folder.h"

int main(int argc, char* argv[]) {
    // Read before Qt starts, so --help and --version work without a display.
    const tally::CommandLine line =
        tally::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
        case tally::CommandLine::Action::Fail:
            std::fprintf(stderr, "tallyscope: %s\nTry 'tallyscope --help'.\n", line.error.c_str());
            return tally::kExitUsage;
        case tally::CommandLine::Action::ShowHelp:
            std::fputs(tally::CommandLineHelp().c_str(), stdout);
            return 0;
        case tally::CommandLine::Action::ShowVersion:
            std::fputs(tally::VersionText().c_str(), stdout);
            return 0;
        case tally::CommandLine::Action::RunHeadless: {
            // No display is needed or touched, and the settings file is left alone.
            // Qt's own event loop rather than GLib's: GLib's wakes itself through its
            // event fd whenever a socket notifier is turned on or off, as the serial
            // port does for every request it writes, and a run polling eight modules
            // around the clock pays for each of those wake-ups.
            const bool noGlibSet = !qEnvironmentVariableIsEmpty("QT_NO_GLIB");
            if (!noGlibSet) qputenv("QT_NO_GLIB", "1");
            QCoreApplication app(argc, argv);
            if (!noGlibSet) qunsetenv("QT_NO_GLIB");
            QCoreApplication::setApplicationName(QStringLiteral("Tallyscope"));
            return tally::RunHeadless(line.headless);
        }
        case tally::CommandLine::Action::RunWindow:
            break;
    }

    QApplication app(argc, argv);
    // Also the X11 window class, which the menu entry names as StartupWMClass.
    QApplication::setApplicationName(QStringLiteral("Tallyscope"));
    // Every window and dialog takes this icon; the desktop file name lets the
    // desktop match the window to its menu entry (and its icon) under Wayland.
    QApplication::setWindowIcon(tally::ApplicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tallyscope.Tallyscope"));
    // The windows remember their places in the folder the settings file and the
    // port links use, not wherever Qt's own reading of the environment points.
    const std::string config =
        tally::GenericConfigFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (!config.empty())
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(config));

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
