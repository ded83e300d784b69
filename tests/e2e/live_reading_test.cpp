// Reading the module into the window in each protocol, checked against the
// simulator's own record of its state.
#include "live_window_fixture.h"

namespace tally::e2e {
namespace {

class LiveReading : public LiveWindowTest, public ::testing::WithParamInterface<int> {};

// Counters start at seeded values and the inputs move, so every read is checked
// against the snapshot the simulator wrote when it answered.
constexpr int kMovingSeed = 7;

TEST_P(LiveReading, CountersInputsAndOutputsShowWhatTheModuleHolds) {
    const int protocol = GetParam();
    startBoth(protocol, 1, kMovingSeed);
    if (HasFatalFailure()) return;

    // Outputs written now are read back by a freshly started window.
    w->cmdDO[2]->click();
    ASSERT_TRUE(settle());
    w->cmdDO[7]->click();
    ASSERT_TRUE(settle());
    ASSERT_EQ(simText("outputs"), QStringLiteral("01000010"));
    closeWindow();
    startWindow();
    openPort(protocol, 1);
    ASSERT_EQ(windowOutputs(), QStringLiteral("00000000"));

    ASSERT_TRUE(readOnce(false, false, true));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
    EXPECT_EQ(windowOutputs(), QStringLiteral("01000010"));
    EXPECT_EQ(BackColor(w->cmdDO[2]), kOnColor);
    EXPECT_EQ(BackColor(w->cmdDO[1]), kOffColor);

    ASSERT_TRUE(readOnce(true, false, false));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
    const auto counters = simCounters();
    bool anyNonZero = false;
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(w->CounterValue[i], counters[i]) << "counter " << i + 1;
        EXPECT_EQ(w->txtCTRaw[i]->text().toStdString(),
                  QString::number(static_cast<qulonglong>(counters[i])).toStdString())
            << "counter " << i + 1;
        anyNonZero = anyNonZero || counters[i] != 0;
    }
    EXPECT_TRUE(anyNonZero) << "the seed should give counters that are not all zero";

    QSet<QString> patterns;
    for (int read = 0; read < 4; ++read) {
        ASSERT_TRUE(readOnce(false, true, false));
        EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
        const QString inputs = simText("inputs");
        EXPECT_EQ(windowInputLamps(), inputs) << "read " << read;
        for (std::size_t i = 0; i < 8; ++i)
            EXPECT_EQ(w->InputState[i], inputs.at(int(i)) == QLatin1Char('1') ? 1 : 0);
        patterns.insert(inputs);
    }
    EXPECT_GT(patterns.size(), 1) << "the inputs never moved, so the lamps proved little";

    // A full cycle is exactly three requests, one after the other.
    const qint64 before = sim.Count("requests");
    ASSERT_TRUE(readOnce(true, true, true));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
    EXPECT_EQ(sim.Count("requests"), before + 3);
    EXPECT_EQ(w->PollStep, 1000);
}

TEST_P(LiveReading, RepeatingReadKeepsTheMonitorCurrent) {
    const int protocol = GetParam();
    startBoth(protocol, 1, kMovingSeed);
    if (HasFatalFailure()) return;
    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);
    w->txtAutoRead->setText(QStringLiteral("1"));
    w->chkRead->setChecked(true);
    // Two cycles a second apart: the second starts on the cycle timer, not the click.
    ASSERT_TRUE(WaitUntil([this] { return sim.Count("requests") >= 4; }, 3000));
    w->chkRead->setChecked(false);
    ASSERT_TRUE(settle());
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
    EXPECT_EQ(windowInputLamps(), simText("inputs"));
    EXPECT_EQ(w->PollStep, 0);
}

INSTANTIATE_TEST_SUITE_P(AllProtocols, LiveReading,
                         ::testing::Values(kOwn, kModbusAscii, kModbusRtu),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return ProtocolName(info.param);
                         });

}  // namespace
}  // namespace tally::e2e
