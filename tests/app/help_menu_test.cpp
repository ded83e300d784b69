// Help > Manual: the entry is there, and the manual it opens is found where the
// program runs from (the build tree's source README, or an install's own).
#include <QAction>
#include <QFile>
#include <QMenu>
#include <fstream>

#include "app/window/manual_location.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

QByteArray firstLine(const std::filesystem::path& file) {
    QFile f(QString::fromStdU16String(file.u16string()));
    return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed() : QByteArray();
}

TEST_F(WindowTest, HelpMenuOffersTheManualFoundInTheSourceTreeOfABuild) {
    auto* manual = w->findChild<QAction*>(QStringLiteral("mnuManual"));
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(w->mnuHelp->actions().contains(manual));
    EXPECT_EQ(manual->text(), QStringLiteral("&Manual"));

    // The program as built, and the window of a program folder with no manual of its own.
    const std::filesystem::path bin = std::filesystem::path(TALLYSCOPE_PATH).parent_path();
    for (const std::filesystem::path& found :
         {ChooseManual(ManualPlacesFor(bin)), w->ManualFile()}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(found)) << found;
        EXPECT_EQ(found.filename(), "README.md");
        EXPECT_EQ(firstLine(found), QByteArray("# Tallyscope"));
    }
}

TEST(ManualLocation, AnInstallFindsItsOwnReadmeThenItsManualPageBeforeAnySourceTree) {
    QTemporaryDir prefix;
    const std::filesystem::path root = prefix.path().toStdString();
    std::filesystem::create_directories(root / "bin");
    const ManualPlaces places = ManualPlacesFor(root / "bin");
    // Where the install rules put them, under the same prefix as the program.
    EXPECT_EQ(places.installedReadme, root / "share/doc/tallyscope/README.md");
    EXPECT_EQ(places.installedManPage, root / "share/man/man1/tallyscope.1.gz");
    const auto make = [](const std::filesystem::path& file) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "manual\n";
    };

    EXPECT_EQ(ChooseManual(places), places.sourceReadme);
    make(places.installedManPage);
    EXPECT_EQ(ChooseManual(places), places.installedManPage);
    make(places.installedReadme);
    EXPECT_EQ(ChooseManual(places), places.installedReadme);
    // A folder in the README's place is no manual.
    EXPECT_EQ(ChooseManual({root / "bin", {}, {}}), std::filesystem::path());
}

}  // namespace
}  // namespace tally::testing
