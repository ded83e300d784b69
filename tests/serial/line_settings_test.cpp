#include "serial/line_settings.h"

#include <gtest/gtest.h>

namespace tally {
namespace {

TEST(LineSettings, AcceptsTheProgramsFormatForEveryBaudRate) {
    for (const int baud : {1200, 9600, 19200, 38400, 115200}) {
        const auto s = ParseLineSettings(std::to_string(baud) + ",n,8,1");
        ASSERT_TRUE(s) << baud;
        EXPECT_EQ(s->baud, baud);
        EXPECT_EQ(s->parity, 'n');
        EXPECT_EQ(s->dataBits, 8);
        EXPECT_EQ(s->stopBits, 1);
    }
}

TEST(LineSettings, ToleratesBlanksAndUpperCaseParity) {
    const auto s = ParseLineSettings(" 4800 , E , 7 , 2 ");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->baud, 4800);
    EXPECT_EQ(s->parity, 'e');
    EXPECT_EQ(s->dataBits, 7);
    EXPECT_EQ(s->stopBits, 2);
}

TEST(LineSettings, RejectsMalformedText) {
    for (const char* bad :
         {"", ",n,8,1", "0,n,8,1", "-9600,n,8,1", "9600.5,n,8,1", "96x0,n,8,1", "99999999999,n,8,1",
          "9600,x,8,1", "9600,nn,8,1", "9600,,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,0",
          "9600,n,8,1.5", "9600,n,8", "9600,n,8,1,", "9600,n,8,1,1"}) {
        EXPECT_FALSE(ParseLineSettings(bad)) << '"' << bad << '"';
    }
}

}  // namespace
}  // namespace tally
