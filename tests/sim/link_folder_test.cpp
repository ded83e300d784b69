#include <gtest/gtest.h>

#include "sim/link_folder.h"

namespace tally::sim {
namespace {

TEST(LinkFolder, BesideTheExecutableWhenWritableElseWhereTallyscopeLooksNext) {
    struct Row {
        const char* xdg;
        const char* home;
        const char* config;
    };
    const Row rows[] = {
        {"/x/cfg", "/home/op", "/x/cfg/tallyscope"},
        {"relative/cfg", "/home/op", "/home/op/.config/tallyscope"},  // ignored, as XDG says
        {"", "/home/op", "/home/op/.config/tallyscope"},
        {nullptr, "/home/op", "/home/op/.config/tallyscope"},
        {nullptr, "", ""},
        {nullptr, nullptr, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(UserConfigFolder(row.xdg, row.home), row.config) << row.config;

    EXPECT_EQ(DefaultLinkFolder("/opt/t/bin", true, "/c/tallyscope"), "/opt/t/bin");
    EXPECT_EQ(DefaultLinkFolder("/usr/bin", false, "/c/tallyscope"), "/c/tallyscope");
    EXPECT_EQ(DefaultLinkFolder("/usr/bin", false, ""),
              "/usr/bin");  // the link fails there, loudly
}

}  // namespace
}  // namespace tally::sim
