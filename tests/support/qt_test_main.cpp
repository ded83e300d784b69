// GoogleTest main with a QApplication, for tests that build widgets or run timers.
// A test built with DESKTOP_SCREEN_FILE gets a desktop-sized offscreen screen, so
// a window takes the width it asks for (offscreen's own screen is 800 x 600).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char* argv[]) {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
#ifdef DESKTOP_SCREEN_FILE
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" DESKTOP_SCREEN_FILE);
#else
    if (platform.isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // What windows remember goes to a throw-away configuration folder.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
