// The window as an installed program: settings in the user's folder, the icon, the
// manual; and every way out, the termination signals on the program itself.
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <fstream>

#include "app/window/manual_location.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program itself, ended by a signal as a session or service manager ends it.
void RunAndEnd(const QString& program, const QString& config, int signalNumber) {
    QProcess app;  // offscreen too: it inherits this test's environment
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    app.setProcessEnvironment(environment);
    app.start(program, {});
    ASSERT_TRUE(app.waitForStarted(5000));
    QDeadlineTimer ready(10000);
    while (!CatchesSignal(app.processId(), signalNumber) && !ready.hasExpired())
        QThread::msleep(5);
    ::kill(static_cast<pid_t>(app.processId()), signalNumber);
    ASSERT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << app.readAllStandardError().toStdString();
}

// SIGTERM and SIGINT close the program, which saves its settings: installed into a
// prefix whose bin folder it may write (as root may write /usr/bin), in the user's
// folder, where removing the package leaves nothing behind in a system folder; a
// copy anywhere else beside itself. A file beside the installed program is a preset,
// read only while the user has no file of their own.
TEST(InstalledProgram, EndsOnTheTerminationSignalsAndSavesInTheUsersFolderOrBesideACopy) {
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("usr/bin"));
    const QString copy = root.filePath(QStringLiteral("unpacked"));
    const QString config = root.filePath(QStringLiteral("config"));
    // What the package or `make install` puts in place beside the program.
    const QString menu = root.filePath(QStringLiteral("usr/share/applications"));
    for (const QString& folder : {bin, copy, menu})
        ASSERT_TRUE(QDir().mkpath(folder));
    QFile entry(menu + QStringLiteral("/org.tallyscope.Tallyscope.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.close();
    const QString preset = bin + "/InitialVL4300.ini";

    // Installed with no file of the user's, installed again, then a copy.
    const std::tuple<QString, int, QByteArray> runs[] = {
        {bin, SIGTERM, "7"}, {bin, SIGINT, "8"}, {copy, SIGINT, ""}};
    for (const auto& [folder, signalNumber, presetPort] : runs) {
        SCOPED_TRACE(folder.toStdString());
        QFile file(preset);
        const QByteArray presetText = "[PortCFG]\r\nComm=\"" + presetPort + "\"\r\n\r\n";
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(presetText) > 0);
        file.close();
        const QString program = folder + "/tallyscope";
        ASSERT_TRUE(QFile::exists(program) ||
                    QFile::copy(QStringLiteral(TALLYSCOPE_PATH), program));
        RunAndEnd(program, config, signalNumber);
        EXPECT_EQ(readAll(preset), presetText);
    }
    const QByteArray own = readAll(config + "/tallyscope/InitialVL4300.ini");
    EXPECT_TRUE(own.startsWith("[KORVI]\r\n") && own.contains("Comm=\"7\"")) << own.toStdString();
    EXPECT_TRUE(readAll(copy + "/InitialVL4300.ini").startsWith("[KORVI]\r\n"));
}

// Help > Manual opens the build tree's README for the program as built; an install
// finds its own README, then its manual page, before any source tree.
TEST_F(WindowTest, TheManualIsTheInstalledReadmeOrManualPageOrTheSourceTreesReadme) {
    EXPECT_TRUE(w->mnuHelp->actions().contains(w->findChild<QAction*>("mnuManual")));
    const std::filesystem::path bin = std::filesystem::path(TALLYSCOPE_PATH).parent_path();
    for (const std::filesystem::path& found :
         {ChooseManual(ManualPlacesFor(bin)), w->ManualFile()}) {
        QFile readme(QString::fromStdString(found.string()));
        EXPECT_TRUE(found.filename() == "README.md" && readme.open(QIODevice::ReadOnly)) << found;
        EXPECT_EQ(readme.readLine().trimmed(), QByteArray("# Tallyscope")) << found;
    }
    QTemporaryDir prefix;
    const std::filesystem::path root = prefix.path().toStdString();
    std::filesystem::create_directories(root / "bin");
    const ManualPlaces places = ManualPlacesFor(root / "bin");
    // Where the install rules put them, under the same prefix as the program.
    EXPECT_EQ(places.installedReadme, root / "share/doc/tallyscope/README.md");
    EXPECT_EQ(places.installedManPage, root / "share/man/man1/tallyscope.1.gz");
    EXPECT_EQ(ChooseManual(places), places.sourceReadme);
    for (const std::filesystem::path& file : {places.installedManPage, places.installedReadme}) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "manual\n";
        EXPECT_EQ(ChooseManual(places), file);
    }
    // A folder in the README's place is no manual.
    EXPECT_EQ(ChooseManual({root / "bin", {}, {}}), std::filesystem::path());
}

using ExitPaths = WindowTest;

// Every way out runs the shut-down once, then destroys the window without a handler
// reaching it, through the application's real event loop.
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
        w.reset();
        EXPECT_EQ(callsWhileDestroyed, 0);
        for (const auto& [title, text] : messages)
            EXPECT_EQ(title, "Settings not saved") << text.toStdString();
        EXPECT_EQ(messages.size(), leave ? 1u : 0u);
        ASSERT_TRUE(QDir(dir.filePath("InitialVL4300.ini.tmp")).removeRecursively());
    }
}

}  // namespace
}  // namespace tally::testing
