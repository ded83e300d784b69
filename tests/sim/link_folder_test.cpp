#include <gtest/gtest.h>

#include "sim/link_folder.h"

namespace tally::sim {
namespace {

TEST(LinkFolder, BesideTheExecutableWhenWritableElseWhereTallyscopeLooksNext) {
    EXPECT_EQ(DefaultLinkFolder("/opt/t/bin", true, "/c/tallyscope"), "/opt/t/bin");
    EXPECT_EQ(DefaultLinkFolder("/usr/bin", false, "/c/tallyscope"), "/c/tallyscope");
    EXPECT_EQ(DefaultLinkFolder("/usr/bin", false, ""),
              "/usr/bin");  // the link fails there, loudly
}

}  // namespace
}  // namespace tally::sim
