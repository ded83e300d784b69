#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "serial/user_config_folder.h"

namespace tally {
namespace {

TEST(UserConfigFolder, FollowsAnAbsoluteXdgConfigHomeAndIgnoresARelativeOne) {
    EXPECT_EQ(UserConfigFolder("/x/cfg", "/home/op"), "/x/cfg/tallyscope");
    for (const char* xdg : {"relative/cfg", "./cfg", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(UserConfigFolder(xdg, "/home/op"), "/home/op/.config/tallyscope") << xdg;
    EXPECT_EQ(UserConfigFolder(nullptr, ""), "");
    EXPECT_EQ(GenericConfigFolder(nullptr, nullptr), "");

    // The process's own environment is read the same way.
    const std::string savedXdg =
        std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "cfg", 1);
    setenv("HOME", "/home/op", 1);
    EXPECT_EQ(UserConfigFolder(), "/home/op/.config/tallyscope");
    setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace tally
