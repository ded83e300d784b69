#include "sim/module_state.h"

#include <gtest/gtest.h>

namespace tally::sim {
namespace {

TEST(ModuleStateTest, CounterKLivesBigEndianAtFourKPlusSix) {
    ModuleState module(0);
    module.setCounter(3, 0x11223344);
    std::string bytes;
    ASSERT_TRUE(module.readMemory(0x12, 4, bytes));
    EXPECT_EQ(bytes, std::string("\x11\x22\x33\x44"));
    ASSERT_TRUE(module.writeMemory(0x26, std::string("\xFF\xFF\xFF\xFE")));
    EXPECT_EQ(module.counter(8), 0xFFFFFFFEU);
}

TEST(ModuleStateTest, StillModuleStartsAtZeroWithAllCountersEnabled) {
    ModuleState module(0);
    EXPECT_EQ(module.enableFlags(), 0xFF);
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(module.counter(k), 0U);
    module.step();
    module.step();
    EXPECT_EQ(module.inputs(), 0);
}

TEST(ModuleStateTest, EnabledCounterCountsRisingEdgesOnly) {
    ModuleState module(0);
    module.applyInputs(0x01);  // rise
    module.applyInputs(0x01);  // stays on
    module.applyInputs(0x00);  // fall
    module.applyInputs(0x01);  // rise
    EXPECT_EQ(module.counter(1), 2U);
    EXPECT_EQ(module.counter(2), 0U);
}

TEST(ModuleStateTest, DisabledCounterIgnoresItsInput) {
    ModuleState module(0);
    module.setEnableFlags(0xFE);  // counter 1 disabled
    module.applyInputs(0x03);
    EXPECT_EQ(module.counter(1), 0U);
    EXPECT_EQ(module.counter(2), 1U);
    EXPECT_TRUE(module.input(1));  // the input itself is still seen
}

TEST(ModuleStateTest, CounterWrapsAtTwoToTheThirtyTwo) {
    ModuleState module(0);
    module.setCounter(5, 0xFFFFFFFFU);
    module.applyInputs(0x10);
    EXPECT_EQ(module.counter(5), 0U);
}

TEST(ModuleStateTest, MemoryAccessOutsideTheMemoryChangesNothing) {
    ModuleState module(0);
    std::string bytes;
    EXPECT_FALSE(module.readMemory(0xFF, 2, bytes));
    EXPECT_FALSE(module.readMemory(0x08, 0, bytes));
    EXPECT_FALSE(module.writeMemory(0xFE, std::string(4, '\x55')));
    ASSERT_TRUE(module.readMemory(0xFC, 4, bytes));
    EXPECT_EQ(bytes, std::string(4, '\0'));
}

TEST(ModuleStateTest, SameSeedGivesSameLifeAndSeedsDiffer) {
    ModuleState a(42), b(42), c(43);
    std::string lifeA, lifeB, lifeC;
    for (int i = 0; i < 50; ++i) {
        a.step();
        b.step();
        c.step();
        lifeA += a.toJson();
        lifeB += b.toJson();
        lifeC += c.toJson();
    }
    EXPECT_EQ(lifeA, lifeB);
    EXPECT_NE(lifeA, lifeC);
}

TEST(ModuleStateTest, SeededInputsMoveAndCountersFollowThem) {
    ModuleState module(7);
    const std::uint32_t before = module.counter(1) + module.counter(2) + module.counter(3);
    bool changed = false;
    const std::uint8_t first = module.inputs();
    for (int i = 0; i < 30; ++i) {
        module.step();
        changed = changed || module.inputs() != first;
    }
    EXPECT_TRUE(changed);
    EXPECT_GT(module.counter(1) + module.counter(2) + module.counter(3), before);
}

TEST(ModuleStateTest, JsonListsChannelOneFirst) {
    ModuleState module(0);
    module.setOutput(1, true);
    module.setCounter(8, 4294967295U);
    const std::string json = module.toJson();
    EXPECT_NE(json.find("\"outputs\": \"10000000\""), std::string::npos) << json;
    EXPECT_NE(json.find("0, 4294967295]"), std::string::npos) << json;
}

}  // namespace
}  // namespace tally::sim
