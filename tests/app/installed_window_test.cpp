// The window as an installed program: settings in the user's folder, the port
// list following adapters, the icon.
#include <QFile>

#include "app/app_icon.h"
#include "serial/user_config_folder.h"
#include "ui/port_item_delegate.h"
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
