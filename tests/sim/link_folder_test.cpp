#include <gtest/gtest.h>

#include "serial/user_config_folder.h"
#include "sim/link_folder.h"

namespace tally::sim {
namespace {

TEST(LinkFolder, BesideTheExecutableWhenWritableElseWhereTallyscopeLooksNext) {
    // The folder tallyscope looks in: a relative XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(UserConfigFolder("/x/cfg", "/home/op"), "/x/cfg/tallyscope");
    for (const char* xdg : {"relative/cfg", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(UserConfigFolder(xdg, "/home/op"), "/home/op/.config/tallyscope");
    EXPECT_EQ(UserConfigFolder(nullptr, nullptr), "");

    EXPECT_EQ(DefaultLinkFolder("/opt/t/bin", true, "/c/tallyscope"), "/opt/t/bin");
    EXPECT_EQ(DefaultLinkFolder("/usr/bin", false, "/c/tallyscope"), "/c/tallyscope");
    EXPECT_EQ(DefaultLinkFolder("/usr/bin", false, ""),
              "/usr/bin");  // the link fails there, loudly
}

}  // namespace
}  // namespace tally::sim
