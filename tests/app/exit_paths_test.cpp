// Every way out runs the shut-down once, then destroys the window without a handler
// reaching it, through the application's real event loop. (The termination signals,
// as the program itself, are in installed_window_test.cpp.)
#include <QApplication>
#include <QTimer>
#include <QWindow>

#include "window_fixture.h"

namespace tally::testing {
namespace {

using ExitPaths = WindowTest;

TEST_F(ExitPaths, EveryWayOutSavesOnceAndNoHandlerReachesTheDestroyedWindow) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"close box", [this] { w->windowHandle()->close(); }},
        {"File > Exit", [this] { w->mnuExit->trigger(); }},
        {"quit", [] { QCoreApplication::quit(); }},
        {"quit from the open dialog",
         [this] {
             onModal = [](FrmSub&) { QCoreApplication::quit(); };
             openPort();
             w->cmdCTSet->click();
             answer("RTC>00\r");
         }},
        {"destroyed open", nullptr},  // no shut-down, but no handler either
    };
    for (const auto& [name, leave] : ways) {
        SCOPED_TRACE(name);
        start();
        onModal = nullptr;
        messages.clear();
        // A save that fails shows one box per shut-down.
        ASSERT_TRUE(QDir(dir.path()).mkpath("InitialVL4300.ini.tmp/x"));
        w->show();
        QApplication::setActiveWindow(w.get());
        w->cmbCOMM->setFocus();
        w->cmbCOMM->setEditText("3");  // a listed port: losing the focus reports it as chosen
        if (leave) {
            QTimer::singleShot(0, w.get(), leave);
            QTimer hang;  // only if the loop would never end
            hang.callOnTimeout([] { QCoreApplication::exit(1); });
            hang.start(5000);
            EXPECT_EQ(QApplication::exec(), 0);
            EXPECT_EQ(w->frmSub, nullptr);  // the dialog was unloaded
        }
        const int calls = callsWhileDestroyed;
        w.reset();
        EXPECT_EQ(callsWhileDestroyed, calls);
        for (const auto& [title, text] : messages)
            EXPECT_EQ(title, "Settings not saved") << text.toStdString();
        EXPECT_EQ(messages.size(), leave ? 1u : 0u);
        ASSERT_TRUE(QDir(dir.filePath("InitialVL4300.ini.tmp")).removeRecursively());
    }
}

}  // namespace
}  // namespace tally::testing
