// The window as an installed program: settings in the user's folder, the port
// list following adapters, the icon.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>

#include "app/window/app_icon.h"
#include "serial/user_config_folder.h"
#include "ui/windows/port_item_delegate.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(WindowTest, InstalledProgramKeepsSettingsInTheUsersFolderAndReadsItsOwnFileAsPreset) {
    QTemporaryDir xdg;
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", xdg.path().toLocal8Bit());
    const QString preset = dir.filePath(QStringLiteral("InitialVL4300.ini"));
    const QString own = xdg.path() + QStringLiteral("/tallyscope/InitialVL4300.ini");
    const QByteArray presetText = "[PortCFG]\r\nComm=\"7\"\r\nStationNo=\"4\"\r\n\r\n";
    QFile file(preset);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(presetText) > 0 && file.flush());
    // The program folder is not writable once installed.
    settings = ChooseSettingsLocation(dir.path().toStdString(), false, UserConfigFolder());
    start();
    EXPECT_EQ(w->cmbCOMM->currentText(), QStringLiteral("7"));
    w->cmbStation->setEditText(QStringLiteral("9"));
    w->close();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(readAll(own).contains("StationNo=\"9\""));
    EXPECT_EQ(readAll(preset), presetText);

    // From now on the user's own file is read, not the preset.
    settings = ChooseSettingsLocation(dir.path().toStdString(), false, UserConfigFolder());
    start();
    EXPECT_EQ(w->cmbStation->currentText(), QStringLiteral("9"));
    qputenv("XDG_CONFIG_HOME", savedXdg);
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
// copy anywhere else beside itself.
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

    for (const auto& [folder, signalNumber] : {std::pair{bin, SIGTERM}, {copy, SIGINT}}) {
        SCOPED_TRACE(folder.toStdString());
        ASSERT_TRUE(QFile::copy(QStringLiteral(TALLYSCOPE_PATH), folder + "/tallyscope"));
        RunAndEnd(folder + "/tallyscope", config, signalNumber);
    }
    EXPECT_FALSE(QFile::exists(bin + "/InitialVL4300.ini"));
    EXPECT_TRUE(readAll(config + "/tallyscope/InitialVL4300.ini").startsWith("[KORVI]\r\n"));
    EXPECT_TRUE(readAll(copy + "/InitialVL4300.ini").startsWith("[KORVI]\r\n"));
}

TEST_F(WindowTest, PortListFollowsAdaptersWhileOffLineAndShowsWhatIsBehindEachNumber) {
    EXPECT_EQ(w->cmbCOMM->itemData(1, kPortDetailRole).toString(),
              QStringLiteral("adapter of port 3"));
    w->cmbCOMM->setEditText(QStringLiteral("3"));
    ports = {1, 2, 3};  // an adapter plugged in
    ASSERT_TRUE(tmrPorts().Fire());
    ASSERT_EQ(w->cmbCOMM->count(), 3);
    EXPECT_EQ(w->cmbCOMM->itemText(1), QStringLiteral("2"));
    EXPECT_EQ(w->cmbCOMM->currentText(), QStringLiteral("3"));  // the operator's choice stays

    openPort();
    EXPECT_FALSE(tmrPorts().Enabled());  // on line the list is fixed
    w->cmdCOMM->click();
    ports = {3};  // two pulled out while on line
    ASSERT_TRUE(tmrPorts().Fire());
    EXPECT_EQ(w->cmbCOMM->count(), 1);
}

TEST(ApplicationIcon, CarriesTheMenuSizesInsideTheProgram) {
    EXPECT_EQ(ApplicationIcon().availableSizes(), (QList<QSize>{QSize(48, 48), QSize(256, 256)}));
}

}  // namespace
}  // namespace tally::testing
