#include "sim/sim_options.h"

#include <gtest/gtest.h>

namespace tally::sim {
namespace {

TEST(SimOptionsTest, DefaultsAreStationOnePortOneAnyBaud) {
    const auto parsed = ParseOptions({});
    EXPECT_TRUE(parsed.error.empty());
    EXPECT_EQ(parsed.options.station, 1);
    EXPECT_EQ(parsed.options.port, 1);
    EXPECT_EQ(parsed.options.baud, 0);
    EXPECT_EQ(parsed.options.seed, 1U);
}

TEST(SimOptionsTest, EveryOptionIsReadAndDocumented) {
    const auto parsed = ParseOptions(
        {"--station", "31",      "--port", "4",     "--dir",   "/tmp/x", "--seed",  "0",
         "--baud",    "9600",    "--drop", "0.25",  "--delay", "40",     "--split", "--garble",
         "1",         "--noise", "--log",  "l.txt", "--stats", "s.json"});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    const SimOptions& o = parsed.options;
    EXPECT_EQ(o.station, 31);
    EXPECT_EQ(o.port, 4);
    EXPECT_EQ(o.dir, "/tmp/x");
    EXPECT_EQ(o.seed, 0U);
    EXPECT_EQ(o.baud, 9600);
    EXPECT_DOUBLE_EQ(o.dropProbability, 0.25);
    EXPECT_EQ(o.delayMs, 40);
    EXPECT_TRUE(o.split);
    EXPECT_DOUBLE_EQ(o.garbleProbability, 1.0);
    EXPECT_TRUE(o.noise);
    EXPECT_EQ(o.logFile, "l.txt");
    EXPECT_EQ(o.statsFile, "s.json");
    const std::string help = HelpText();
    for (const char* name :
         {"--station", "--port", "--dir", "--seed", "--baud", "--drop", "--delay", "--split",
          "--garble", "--noise", "--log", "--stats", "--help"})
        EXPECT_NE(help.find(name), std::string::npos) << name;
}

TEST(SimOptionsTest, BadValuesAreRefusedWithTheirName) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--station", "32"},
             {"--station", "-1"},
             {"--station", "1x"},
             {"--port", "0"},
             {"--drop", "1.5"},
             {"--garble", "nan"},
             {"--delay", "-3"},
             {"--baud", "0"},
             {"--seed", "abc"},
             {"--log"},
             {"--bogus", "1"},
             {"stray"},
         }) {
        const auto parsed = ParseOptions(args);
        EXPECT_FALSE(parsed.error.empty()) << args[0];
        EXPECT_NE(parsed.error.find(args[0]), std::string::npos) << parsed.error;
    }
}

}  // namespace
}  // namespace tally::sim
