#include <unistd.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "app/settings_location.h"

namespace tally {
namespace {

namespace fs = std::filesystem;

TEST(SettingsLocation, BesideTheProgramWhileWritableElseTheUsersFolderWithTheProgramsFileAsPreset) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const fs::path program = fs::path(root.path().toStdString()) / "bin";
    const fs::path config = fs::path(root.path().toStdString()) / "config";
    const fs::path beside = program / "InitialVL4300.ini";
    const fs::path own = config / "InitialVL4300.ini";
    struct Row {
        bool writable, hasBeside, hasOwn, noConfigFolder;
        fs::path read, save;
    };
    const Row rows[] = {
        {true, false, false, false, beside, beside}, {true, true, true, false, beside, beside},
        {false, false, false, false, own, own},      {false, true, false, false, beside, own},
        {false, true, true, false, own, own},        {false, false, true, false, own, own},
        {false, true, false, true, beside, beside},
    };
    for (const Row& row : rows) {
        fs::remove_all(program);
        fs::remove_all(config);
        fs::create_directories(program);
        if (row.hasBeside) std::ofstream(beside) << "x";
        if (row.hasOwn) {
            fs::create_directories(config);
            std::ofstream(own) << "x";
        }
        const SettingsLocation got =
            ChooseSettingsLocation(program, row.writable, row.noConfigFolder ? fs::path() : config);
        EXPECT_EQ(got.readFile, row.read) << row.writable << row.hasBeside << row.hasOwn;
        EXPECT_EQ(got.saveFile, row.save) << row.writable << row.hasBeside << row.hasOwn;
    }

    EXPECT_TRUE(FolderWritable(program));
    EXPECT_FALSE(FolderWritable(program / "missing"));
    fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec);
    // Root may write anywhere; everyone else is refused.
    EXPECT_EQ(FolderWritable(program), ::geteuid() == 0);
    fs::permissions(program, fs::perms::owner_all);
}

}  // namespace
}  // namespace tally
