#include "app/window/settings_file.h"

#include <gtest/gtest.h>

#include "app/window/settings_location.h"

#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include <sys/resource.h>
#include <unistd.h>

namespace tally {
namespace {

namespace fs = std::filesystem;

const SettingsValues kExampleValues{
    "2", "1", "57600", 1, 0, 0, "1", {"1.0", "1.0", "1.0", "1.0", "1.0", "1.0", "1.0", "1.0"}};

const char* const kExampleFile =
    "[KORVI]\r\n\r\n[Common]\r\nModel=\"VL4300\"\r\nFileType=\"InitialFile\"\r\n"
    "Version=\"1.0.0\"\r\n\r\n[PortCFG]\r\nComm=\"2\"\r\nStationNo=\"1\"\r\n"
    "BaudRate=\"57600\"\r\n\r\n[Read Setting]\r\nDC=1\r\nDI=0\r\nDO=0\r\nEvery=1\r\n\r\n"
    "[Multiply]\r\nMultiply1=1.0\r\nMultiply2=1.0\r\nMultiply3=1.0\r\nMultiply4=1.0\r\n"
    "Multiply5=1.0\r\nMultiply6=1.0\r\nMultiply7=1.0\r\nMultiply8=1.0\r\n\r\n";

ParsedSettings parse(std::string_view bytes) {
    return ParseSettings(SettingsTextFromBytes(bytes).text);
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tally-settings-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        file = SettingsFilePath(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }
    void put(const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }
    std::string contents() const {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir;
    fs::path file;
};

TEST_F(SettingsFileTest, ExampleSettingsReplaceTheFileWithThe315ByteLayoutAndReadBackTheSame) {
    ASSERT_EQ(file, dir / "InitialVL4300.ini");
    EXPECT_EQ(BuildSettingsText(kExampleValues), kExampleFile);
    put("old");
    ASSERT_EQ(WriteSettingsFile(file, BuildSettingsText(kExampleValues)), "");
    EXPECT_EQ(contents(), kExampleFile);
    EXPECT_FALSE(fs::exists(dir / "InitialVL4300.ini.tmp"));
    // Every byte but the line ends, and each check-box value, comes back (the
    // window's own round trip: its settings tests).
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += c == '\r' || c == '\n' ? "" : std::string(1, static_cast<char>(c));
    SettingsValues v{"\xE9\xFF", "1", "", 2, 1, 0, "", {"", "", "", "", all}};
    ASSERT_EQ(WriteSettingsFile(file, BuildSettingsText(v)), "");
    const ParsedSettings q = ParseSettings(ReadSettingsText(file).text);
    EXPECT_EQ(std::tuple(q.comm, q.dc, q.di, q.multiply[4]), std::tuple("\xE9\xFF", 2, 1, all));
}

TEST(SettingsText, FirstLineIsOneDataItemAndItsRestAnotherLine) {
    EXPECT_EQ(SettingsTextFromBytes("  a,b\r\nc\r\n").text, "ab\r\nc\r\n");
    EXPECT_EQ(SettingsTextFromBytes("\"a,b\"\r\nc").text, "a,bc\r\n");
    EXPECT_EQ(SettingsTextFromBytes("\"open\r\nc\r\n").text, "openc\r\n");
    EXPECT_EQ(SettingsTextFromBytes("a\nb\rc\r\n").text, "ab\r\nc\r\n");  // any line end
    // A comma on the first line shifts what the lookup sees.
    EXPECT_EQ(parse("[X],[PortCFG]\r\nComm=\"5\"\r\n\r\n").comm, "5");
}

// No file, or an empty one (62): the window's settings tests.
TEST_F(SettingsFileTest, ReadFailuresGiveTheirFileErrorCodes) {
    fs::create_directory(file);  // a folder where the file should be
    EXPECT_EQ(std::tuple(ReadSettingsText(file).errorCode, ReadSettingsText(file).text),
              std::tuple(75, ""));
    // A kernel setting that may only be written: no one reads it, a superuser neither.
    const auto read = ReadSettingsText("/proc/sys/vm/drop_caches");
    EXPECT_EQ(std::tuple(read.errorCode, read.text), std::tuple(70, ""));
}

TEST(LookupSetting, AbsentOrUnfinishedSectionsKeysAndShortQuotedValuesGiveEmpty) {
    const std::string text = "[A]\r\nXKey=1\r\n\r\n[C]\r\nOnly=4\r\n\r\n[B]\r\nKey=3\r\n";
    EXPECT_EQ(LookupSetting(text, "A", "Key", false), "1");  // found as the tail of XKey
    EXPECT_EQ(LookupSetting(text, "C", "Only", false), "4");
    EXPECT_EQ(LookupSetting(text, "A", "Only", false), "");  // only in its own section
    EXPECT_EQ(LookupSetting(text, "B", "Key", false), "");   // no empty line after it
    const std::string port = "[PortCFG]\r\nComm=12\r\nStationNo=123\r\nBaudRate=\r\n\r\n";
    EXPECT_EQ(LookupSetting(port, "PortCFG", "Comm", true), "");
    EXPECT_EQ(LookupSetting(port, "PortCFG", "StationNo", true), "2");
    EXPECT_EQ(LookupSetting(port, "PortCFG", "BaudRate", true), "");
    EXPECT_FALSE(ParseSettings(port).baud);  // an empty rate leaves the rate alone
}

TEST_F(SettingsFileTest, SectionsBeyondTheSearchLimitGiveEmptyValues) {
    // A section's closing CR LF CR LF must start at 1-based position 32,767 at most, which puts
    // its header at offset 32,758; the reader keeps just enough of a file for that.
    const auto at = [](std::size_t n) { return std::string(n, 'x') + "[S]\r\nK=v\r\n\r\n"; };
    EXPECT_EQ(LookupSetting(at(32758), "S", "K", false), "v");
    EXPECT_EQ(LookupSetting(at(32759), "S", "K", false), "");
    put("#\r\n" + at(32757) + std::string(5000000, 'z'));  // the first line's CR LF is not kept
    const auto read = ReadSettingsText(file);
    EXPECT_EQ(read.text.size(), kSettingsTextKeep);
    EXPECT_EQ(LookupSetting(read.text, "S", "K", false), "v");
}

TEST(ParseSettings, CheckBoxesTakeOnlyZeroOneOrTwoRoundedTiesToEven) {
    const std::pair<const char*, std::optional<int>> rows[] = {
        {"0", 0},    {"1", 1},  {"2", 2},   {" 1.5 ", 2}, {"2.5", 2},
        {"abc", {}}, {"5", {}}, {"-1", {}}, {"2.6", {}},  {"1x", {}}};
    for (const auto& [value, box] : rows) {
        const std::string v = value;
        const auto p =
            parse("[Read Setting]\r\nDC=" + v + "\r\nDI=" + v + "\r\nDO=" + v + "\r\n\r\n");
        EXPECT_EQ(std::tuple(p.dc, p.di, p.do_), std::tuple(box, box, box)) << value;
    }
}

// Each failure is one that stops a superuser too.
TEST_F(SettingsFileTest, FailedWriteIsReportedAndLeavesTheOldFileWhole) {
    put(kExampleFile);
    const fs::path temporary = dir / "InitialVL4300.ini.tmp";
    fs::create_directories(temporary / "x");  // in the way of the temporary file
    EXPECT_NE(WriteSettingsFile(file, "new").find("cannot create"), std::string::npos);
    EXPECT_EQ(contents(), kExampleFile);
    fs::remove_all(temporary);
    // A file size limit holds for everyone: the disk is as good as full.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit before = limit;
    limit.rlim_cur = 8;
    const auto oversize = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string reason = WriteSettingsFile(file, std::string(kExampleFile) + "new");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oversize);
    EXPECT_NE(reason.find("cannot write"), std::string::npos) << reason;
    EXPECT_EQ(contents(), kExampleFile);
    EXPECT_FALSE(fs::exists(temporary));
    fs::create_directories(dir / "in-the-way" / "x");  // a folder the new file cannot replace
    EXPECT_NE(WriteSettingsFile(dir / "in-the-way", "new"), "");
    EXPECT_FALSE(fs::exists(dir / "in-the-way.tmp"));
}

TEST_F(SettingsFileTest, SavingKeepsTheReplacedFilesPermissionsLinksAndReadOnlyState) {
    using fs::perms;
    put(kExampleFile);
    fs::permissions(file, perms::owner_read | perms::owner_write);
    ASSERT_EQ(WriteSettingsFile(file, "private"), "");
    EXPECT_EQ(fs::status(file).permissions(), perms::owner_read | perms::owner_write);
    // A link stays a link; the file it leads to is replaced and keeps its permissions.
    fs::create_directory(dir / "shared");
    fs::rename(file, dir / "shared" / "real.ini");
    fs::create_symlink(fs::path("shared") / "real.ini", file);
    ASSERT_EQ(WriteSettingsFile(file, "linked"), "");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(file)));
    EXPECT_EQ(contents(), "linked");
    EXPECT_EQ(fs::status(file).permissions(), perms::owner_read | perms::owner_write);
    EXPECT_FALSE(fs::exists(dir / "shared" / "real.ini.tmp"));
    // Read-only by its mode bits, which a superuser's rights do not override.
    fs::permissions(file, perms::owner_read | perms::group_read);
    EXPECT_NE(WriteSettingsFile(file, "new").find("the file is read-only"), std::string::npos);
    EXPECT_EQ(contents(), "linked");
}

// Where an installation put the program (its settings then go to the user's folder);
// one in a prefix beside its menu entry is run in installed_window_test.cpp.
TEST(InstalledProgramFolder, SystemFoldersAreInstalledOnesAndTheirParentsNot) {
    for (const char* system : {"/usr/bin", "/usr/local/bin", "/usr/bin/", "/bin"})
        EXPECT_TRUE(InstalledProgramFolder(system)) << system;
    for (const char* other : {"/usr", "/usr/local", ""})
        EXPECT_FALSE(InstalledProgramFolder(other)) << other;
}

}  // namespace
}  // namespace tally
