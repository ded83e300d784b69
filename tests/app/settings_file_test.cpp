#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <unistd.h>

namespace tally {
namespace {

namespace fs = std::filesystem;

SettingsValues exampleValues() {
    SettingsValues v;
    v.comm = "2";
    v.station = "1";
    v.baud = "57600";
    v.dc = 1;
    v.every = "1";
    v.multiply.fill("1.0");
    return v;
}

const char* const kExampleFile =
    "[KORVI]\r\n\r\n[Common]\r\nModel=\"VL4300\"\r\nFileType=\"InitialFile\"\r\n"
    "Version=\"1.0.0\"\r\n\r\n[PortCFG]\r\nComm=\"2\"\r\nStationNo=\"1\"\r\n"
    "BaudRate=\"57600\"\r\n\r\n[Read Setting]\r\nDC=1\r\nDI=0\r\nDO=0\r\nEvery=1\r\n\r\n"
    "[Multiply]\r\nMultiply1=1.0\r\nMultiply2=1.0\r\nMultiply3=1.0\r\nMultiply4=1.0\r\n"
    "Multiply5=1.0\r\nMultiply6=1.0\r\nMultiply7=1.0\r\nMultiply8=1.0\r\n\r\n";

// A fresh folder beside the executable's temp files, removed afterwards.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir = fs::temp_directory_path() / ("tally-settings-" + std::to_string(random()));
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
    ParsedSettings readBack() {
        const auto read = ReadSettingsText(file);
        EXPECT_EQ(read.errorCode, 0);
        return ParseSettings(read.text);
    }

    fs::path dir;
    fs::path file;
};

TEST_F(SettingsFileTest, ExampleSettingsWriteThe315ByteFileAndReadBackTheSame) {
    ASSERT_EQ(file.filename(), "InitialVL4300.ini");
    ASSERT_EQ(file.parent_path(), dir);
    const std::string text = BuildSettingsText(exampleValues());
    EXPECT_EQ(text.size(), 315u);
    EXPECT_EQ(text, kExampleFile);
    ASSERT_EQ(WriteSettingsFile(file, text), "");
    EXPECT_EQ(contents(), kExampleFile);

    const ParsedSettings p = readBack();
    EXPECT_EQ(p.comm, "2");
    EXPECT_EQ(p.station, "1");
    EXPECT_EQ(p.baud, "57600");
    EXPECT_EQ(p.dc, 1);
    EXPECT_EQ(p.di, 0);
    EXPECT_EQ(p.do_, 0);
    EXPECT_EQ(p.every, "1");
    for (const auto& m : p.multiply)
        EXPECT_EQ(m, "1.0");
}

TEST_F(SettingsFileTest, SettingsTextHasTheFirstLineWithoutItsLineEnd) {
    put(kExampleFile);
    const std::string text = ReadSettingsText(file).text;
    EXPECT_EQ(text.substr(0, 19), "[KORVI]\r\n[Common]\r\n");
    EXPECT_EQ(text.size(), 313u);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
}

TEST_F(SettingsFileTest, MissingFileIsSilentAndTheWriteCreatesIt) {
    const auto read = ReadSettingsText(file);
    EXPECT_EQ(read.errorCode, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_FALSE(ParseSettings(read.text).comm);
    EXPECT_FALSE(ParseSettings(read.text).baud);
    ASSERT_EQ(WriteSettingsFile(file, BuildSettingsText(exampleValues())), "");
    EXPECT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(dir / "InitialVL4300.ini.tmp"));
}

TEST_F(SettingsFileTest, ReadFailuresGiveTheirFileErrorCodes) {
    put("");
    EXPECT_EQ(ReadSettingsText(file).errorCode, 62);
    EXPECT_EQ(ReadSettingsText(file).text, "");

    fs::remove(file);
    fs::create_directory(file);  // a folder where the file should be
    EXPECT_EQ(ReadSettingsText(file).errorCode, 75);
    EXPECT_EQ(SettingsErrorCode(EACCES), 70);
    EXPECT_EQ(SettingsErrorCode(EPERM), 70);
    EXPECT_EQ(SettingsErrorCode(EIO), 75);
}

TEST_F(SettingsFileTest, UnreadableFileGivesPermissionDenied) {
    put(kExampleFile);
    fs::permissions(file, fs::perms::none);
    if (::access(file.c_str(), R_OK) == 0) GTEST_SKIP() << "running with rights to read anything";
    const auto read = ReadSettingsText(file);
    EXPECT_EQ(read.errorCode, 70);
    EXPECT_EQ(read.text, "");
}

TEST(LookupSetting, UnquoteDropsTheFirstAndLastCharacterWhateverTheyAre) {
    const std::string text = "[PortCFG]\r\nComm=12\r\nStationNo=123\r\nBaudRate=1\r\n\r\n";
    EXPECT_EQ(LookupSetting(text, "PortCFG", "Comm", true), "");
    EXPECT_EQ(LookupSetting(text, "PortCFG", "StationNo", true), "2");
    EXPECT_EQ(LookupSetting(text, "PortCFG", "BaudRate", true), "");
    EXPECT_EQ(LookupSetting(text, "PortCFG", "Comm", false), "12");
    ParsedSettings p = ParseSettings(text);
    EXPECT_EQ(p.comm, "");  // a text field is emptied
    EXPECT_EQ(p.station, "2");
    EXPECT_FALSE(p.baud);  // an empty rate leaves the rate alone
}

TEST(LookupSetting, AbsentSectionsKeysAndUnfinishedValuesGiveEmpty) {
    const std::string text = "[A]\r\nXKey=1\r\nOther=2\r\n\r\n[B]\r\nKey=3\r\n";
    EXPECT_EQ(LookupSetting(text, "A", "Key", false), "1");  // found as a tail of XKey
    EXPECT_EQ(LookupSetting(text, "A", "Missing", false), "");
    EXPECT_EQ(LookupSetting(text, "C", "Key", false), "");
    EXPECT_EQ(LookupSetting(text, "B", "Key", false), "");  // no empty line after it
    EXPECT_EQ(LookupSetting(text, "a", "Key", false), "");  // case counts
    EXPECT_EQ(LookupSetting("", "A", "Key", false), "");
    // The key is searched in its own section only.
    EXPECT_EQ(LookupSetting(text, "A", "Key=3", false), "");
}

TEST(ParseSettings, CheckBoxesTakeOnlyZeroOneOrTwoRoundedTiesToEven) {
    const auto dc = [](const std::string& value) {
        return ParseSettings("[Read Setting]\r\nDC=" + value + "\r\n\r\n").dc;
    };
    EXPECT_EQ(dc("0"), 0);
    EXPECT_EQ(dc("1"), 1);
    EXPECT_EQ(dc("2"), 2);
    EXPECT_EQ(dc(" 1.5 "), 2);
    EXPECT_EQ(dc("2.5"), 2);
    EXPECT_EQ(dc("0.5"), 0);
    EXPECT_EQ(dc("-0.4"), 0);
    for (const char* bad : {"abc", "5", "", "-1", "2.6", "1x", "99999"}) {
        EXPECT_FALSE(dc(bad)) << bad;
    }
}

TEST(ParseSettings, TextFieldsTakeTheirValuesAsRead) {
    const std::string text =
        "[Read Setting]\r\nEvery=75\r\n\r\n[Multiply]\r\nMultiply1=abc\r\nMultiply3=\r\n"
        "Multiply8= 2.50\r\n\r\n[PortCFG]\r\nBaudRate=\"115200\"\r\n\r\n";
    const ParsedSettings p = ParseSettings(text);
    EXPECT_EQ(p.every, "75");
    EXPECT_EQ(p.multiply[0], "abc");
    EXPECT_EQ(p.multiply[2], "");
    EXPECT_EQ(p.multiply[7], " 2.50");
    EXPECT_EQ(p.baud, "115200");  // the window's list decides
    EXPECT_FALSE(p.dc);
}

TEST_F(SettingsFileTest, LastSectionWithoutEmptyLineGivesEightEmptyMultipliers) {
    std::string bytes = kExampleFile;
    bytes.resize(bytes.size() - 2);
    put(bytes);
    const ParsedSettings p = readBack();
    for (const auto& m : p.multiply)
        EXPECT_EQ(m, "");
    EXPECT_EQ(p.comm, "2");
}

TEST_F(SettingsFileTest, EmptyMultiplierRoundTripsAsEmpty) {
    SettingsValues v = exampleValues();
    v.multiply[2] = "";
    const std::string text = BuildSettingsText(v);
    EXPECT_NE(text.find("\r\nMultiply3=\r\n"), std::string::npos);
    ASSERT_EQ(WriteSettingsFile(file, text), "");
    EXPECT_EQ(readBack().multiply[2], "");
}

TEST_F(SettingsFileTest, EveryByteButLineEndsRoundTrips) {
    std::string all;
    for (int c = 0; c < 256; ++c) {
        if (c != '\r' && c != '\n') all += static_cast<char>(c);
    }
    SettingsValues v = exampleValues();
    v.multiply[4] = all;
    v.comm = "\xE9\xFF";
    ASSERT_EQ(WriteSettingsFile(file, BuildSettingsText(v)), "");
    const ParsedSettings p = readBack();
    EXPECT_EQ(p.multiply[4], all);
    EXPECT_EQ(p.comm, "\xE9\xFF");
}

TEST_F(SettingsFileTest, RewriteDropsWhatWasAddedByHand) {
    std::string bytes = kExampleFile;
    bytes += "[Extra]\r\nMine=1\r\n\r\n";
    bytes.insert(bytes.find("DC=1"), "Note=hand\r\n");
    put(bytes);
    const ParsedSettings p = readBack();
    SettingsValues v;
    v.comm = *p.comm;
    v.station = *p.station;
    v.baud = *p.baud;
    v.dc = *p.dc;
    v.di = *p.di;
    v.do_ = *p.do_;
    v.every = *p.every;
    for (std::size_t i = 0; i < 8; ++i)
        v.multiply[i] = *p.multiply[i];
    ASSERT_EQ(WriteSettingsFile(file, BuildSettingsText(v)), "");
    EXPECT_EQ(contents(), kExampleFile);
}

TEST(SettingsText, FirstLineIsOneDataItemAndItsRestAnotherLine) {
    EXPECT_EQ(SettingsTextFromBytes("  a,b\r\nc\r\n").text, "ab\r\nc\r\n");
    EXPECT_EQ(SettingsTextFromBytes("\"a,b\"\r\nc").text, "a,bc\r\n");
    EXPECT_EQ(SettingsTextFromBytes("\"a\" , b\r\n").text, "a b\r\n");
    EXPECT_EQ(SettingsTextFromBytes("\"open\r\nc\r\n").text, "openc\r\n");
    EXPECT_EQ(SettingsTextFromBytes("x,\r\n").text, "x\r\n");
    EXPECT_EQ(SettingsTextFromBytes("\r\n").text, "");
    EXPECT_EQ(SettingsTextFromBytes("").errorCode, 62);
    // Line ends of other systems are line ends too.
    EXPECT_EQ(SettingsTextFromBytes("a\nb\rc\r\n").text, "ab\r\nc\r\n");
}

TEST_F(SettingsFileTest, CommaOrQuoteOnTheFirstLineShiftsTheFileAsRead) {
    put("[X],[PortCFG]\r\nComm=\"5\"\r\n\r\n");
    EXPECT_EQ(readBack().comm, "5");
    put("\"[PortCFG]\"Comm=\"6\"\r\n\r\n");
    EXPECT_EQ(readBack().comm, "6");
    // The first header merged with the second line still finds its section.
    std::string bytes = kExampleFile;
    bytes.replace(0, 7, "\"[KORVI], more\"");
    put(bytes);
    EXPECT_EQ(readBack().baud, "57600");
}

// "#", a line of padding, then a section whose header starts at 0-based offset n.
std::string sectionAt(std::size_t n) {
    return "#\r\n" + std::string(n - 3, 'x') + "\r\n[S]\r\nK=v\r\n\r\n";
}

TEST_F(SettingsFileTest, SectionsBeyondTheSearchLimitGiveEmptyValues) {
    // The section's closing CR LF CR LF is the last thing found: it must start
    // at 1-based position 32,767 at most, which puts the header at offset 32,758.
    put(sectionAt(32758));
    EXPECT_EQ(LookupSetting(ReadSettingsText(file).text, "S", "K", false), "v");
    put(sectionAt(32759));
    EXPECT_EQ(LookupSetting(ReadSettingsText(file).text, "S", "K", false), "");

    std::string bytes = kExampleFile;
    bytes.insert(bytes.find("[Multiply]"), std::string(40000, 'y') + "\r\n\r\n");
    put(bytes);
    const ParsedSettings p = readBack();
    EXPECT_EQ(p.multiply[0], "");
    EXPECT_EQ(p.comm, "2");
}

TEST_F(SettingsFileTest, LargeFileIsReadOnlyAsFarAsTheLookupCanReach) {
    {
        std::ofstream out(file, std::ios::binary);
        out << kExampleFile;
        const std::string line(1000, 'z');
        for (int i = 0; i < 5000; ++i)
            out << line << "\r\n";
    }
    const auto read = ReadSettingsText(file);
    EXPECT_EQ(read.errorCode, 0);
    EXPECT_EQ(read.text.size(), kSettingsTextKeep);
    EXPECT_EQ(ParseSettings(read.text).multiply[7], "1.0");
}

TEST_F(SettingsFileTest, FailedWriteIsReportedAndLeavesTheOldFileWhole) {
    put(kExampleFile);
    // Something in the way of the temporary file stops even a superuser.
    fs::create_directory(dir / "InitialVL4300.ini.tmp");
    SettingsValues v = exampleValues();
    v.comm = "9";
    const std::string reason = WriteSettingsFile(file, BuildSettingsText(v));
    EXPECT_NE(reason, "");
    EXPECT_NE(reason.find("InitialVL4300.ini"), std::string::npos);
    EXPECT_EQ(contents(), kExampleFile);
}

TEST_F(SettingsFileTest, UnwritableFolderIsReportedAndLeavesTheOldFileWhole) {
    put(kExampleFile);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(dir.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights to write anywhere";
    EXPECT_NE(WriteSettingsFile(file, "new"), "");
    EXPECT_EQ(contents(), kExampleFile);
}

TEST_F(SettingsFileTest, WriteIntoAMissingFolderIsReported) {
    EXPECT_NE(WriteSettingsFile(dir / "gone" / "InitialVL4300.ini", "x"), "");
}

}  // namespace
}  // namespace tally
