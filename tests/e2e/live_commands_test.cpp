// Operator commands carried out on the simulated module, and the requests
// that must end in "Time Out".
#include "live_window_fixture.h"

namespace tally::e2e {
namespace {

class LiveOutputs : public LiveWindowTest, public ::testing::WithParamInterface<int> {};
using LiveCounters = LiveWindowTest;
using LiveEnableDialog = LiveWindowTest;
using LiveTimeouts = LiveWindowTest;

// A still module: counters at 0 and inputs that never change.
constexpr int kStillSeed = 0;

TEST_P(LiveOutputs, ToggleAllOnAndAllOffSwitchTheModulesOutputs) {
    startBoth(GetParam(), 1, kStillSeed);
    if (HasFatalFailure()) return;
    ASSERT_EQ(simText("outputs"), QStringLiteral("00000000"));
    struct Step {
        QPushButton* button;
        const char* announced;
        const char* expected;
    };
    const std::vector<Step> steps = {
        {w->cmdDO[1], "Write DO #1", "10000000"}, {w->cmdDO[8], "Write DO #8", "10000001"},
        {w->cmdDoON, "Write All DO", "11111111"}, {w->cmdDO[3], "Write DO #3", "11011111"},
        {w->cmdDO[3], "Write DO #3", "11111111"}, {w->cmdDoOFF, "Write All DO", "00000000"},
    };
    for (const Step& step : steps) {
        step.button->click();
        EXPECT_EQ(w->labReport->text().toStdString(), step.announced);
        ASSERT_TRUE(settle()) << step.announced;
        EXPECT_EQ(w->labReport->text(), QStringLiteral("Write OK")) << step.announced;
        EXPECT_EQ(simText("outputs").toStdString(), step.expected) << step.announced;
        EXPECT_EQ(windowOutputs().toStdString(), step.expected) << step.announced;
        for (std::size_t k = 1; k <= 8; ++k)
            EXPECT_EQ(BackColor(w->cmdDO[k]), step.expected[k - 1] == '1' ? kOnColor : kOffColor);
    }
}

TEST_P(LiveOutputs, AToggleClickedDuringAReadGoesOutBetweenTheReads) {
    startBoth(GetParam(), 1, kStillSeed);
    if (HasFatalFailure()) return;
    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);
    w->chkDO->setChecked(true);
    w->txtAutoRead->setText(QStringLiteral("0"));
    w->chkRead->setChecked(true);
    ASSERT_TRUE(w->tmrRead->Enabled());  // the counter read is on the line
    w->cmdDO[5]->click();
    ASSERT_TRUE(WaitUntil([this] { return !w->chkRead->isChecked() && lineIdle(); }, 5000));
    EXPECT_EQ(sim.Count("requests"), 4);
    EXPECT_EQ(simText("outputs"), QStringLiteral("00001000"));
    // The output read came after the write, so it shows the new state.
    EXPECT_EQ(windowOutputs(), QStringLiteral("00001000"));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
}

INSTANTIATE_TEST_SUITE_P(AllProtocols, LiveOutputs,
                         ::testing::Values(kOwn, kModbusAscii, kModbusRtu),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return ProtocolName(info.param);
                         });

TEST_F(LiveCounters, PresetAndClearChangeTheModulesCounters) {
    startBoth(kOwn, 1, kStillSeed);
    if (HasFatalFailure()) return;
    const auto expectCounters = [this](const std::array<double, 8>& expected, const char* what) {
        EXPECT_EQ(simCounters(), expected) << what;
    };

    w->cmbDC->setCurrentText(QStringLiteral("4"));
    w->txtCTSet->setText(QStringLiteral("123456"));
    w->chkCTSet->setChecked(true);
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Write DC #4"));
    ASSERT_TRUE(settle());
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Write OK"));
    EXPECT_FALSE(w->chkCTSet->isChecked());
    expectCounters({0, 0, 0, 123456, 0, 0, 0, 0}, "preset of counter 4");

    // The largest count the module holds survives the trip.
    w->cmbDC->setCurrentText(QStringLiteral("8"));
    w->txtCTSet->setText(QStringLiteral("4294967295"));
    w->chkCTSet->setChecked(true);
    ASSERT_TRUE(settle());
    expectCounters({0, 0, 0, 123456, 0, 0, 0, 4294967295.0}, "preset of counter 8 to 2^32-1");

    w->cmbDC->setCurrentText(QStringLiteral("All"));
    w->txtCTSet->setText(QStringLiteral("70000"));
    w->chkCTSet->setChecked(true);
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Write All DC"));
    ASSERT_TRUE(settle());
    expectCounters({70000, 70000, 70000, 70000, 70000, 70000, 70000, 70000}, "preset of all");

    w->cmbDC->setCurrentText(QStringLiteral("2"));
    w->chkCTClear->setChecked(true);
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Clear DC #2"));
    ASSERT_TRUE(settle());
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Write OK"));
    EXPECT_FALSE(w->chkCTClear->isChecked());
    expectCounters({70000, 0, 70000, 70000, 70000, 70000, 70000, 70000}, "clear of counter 2");

    // What the window shows after the acknowledgements is what a read finds.
    const std::array<double, 8> shown = w->CounterValue;
    ASSERT_TRUE(readOnce(true, false, false));
    EXPECT_EQ(w->CounterValue, shown);
    EXPECT_EQ(w->txtCTRaw[1]->text(), QStringLiteral("0"));
    EXPECT_EQ(w->txtCTRaw[0]->text(), QStringLiteral("70000"));

    w->cmbDC->setCurrentText(QStringLiteral("All"));
    w->chkCTClear->setChecked(true);
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Clear All DC"));
    ASSERT_TRUE(settle());
    expectCounters({}, "clear of all");
}

TEST_F(LiveEnableDialog, FlagsReadShownChangedAndReadBack) {
    startBoth(kOwn, 1, kStillSeed);
    if (HasFatalFailure()) return;
    ASSERT_EQ(simText("enable"), QStringLiteral("11111111"));

    std::array<bool, 9> shown{};
    QStringList moduleFlags;
    onModal = [&](FrmSub& dialog) {
        for (std::size_t k = 1; k <= 8; ++k)
            shown[k] = dialog.chkDS[k]->isChecked();
        // Each change is written at once and judged by the dialog's own timer.
        const auto change = [&](QAbstractButton* control) {
            control->click();
            EXPECT_TRUE(dialog.Busy());
            EXPECT_TRUE(WaitUntil([&] { return !dialog.Busy(); }, 2000));
            moduleFlags << simText("enable") + QLatin1Char('/') + windowEnableFlags();
        };
        change(dialog.chkDS[2]);
        change(dialog.cmdDoOFF);
        change(dialog.chkDS[5]);
        change(dialog.chkDS[8]);
        change(dialog.cmdDoON);
        change(dialog.chkDS[1]);
    };
    w->cmdCTSet->click();
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read DC Status"));
    ASSERT_TRUE(WaitUntil([this] { return modalShows == 1 && lineIdle(); }, 5000));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read DC Status OK"));
    EXPECT_EQ(shown, (std::array<bool, 9>{false, true, true, true, true, true, true, true, true}));
    // module flags / window flags after each change
    EXPECT_EQ(moduleFlags, (QStringList{
                               "10111111/10111111",
                               "00000000/00000000",
                               "00001000/00001000",
                               "00001001/00001001",
                               "11111111/11111111",
                               "01111111/01111111",
                           }));
    EXPECT_EQ(beeps, 0) << "every write was acknowledged in time";

    // Opened again, the dialog shows what the module now holds.
    onModal = [&](FrmSub& dialog) {
        for (std::size_t k = 1; k <= 8; ++k)
            shown[k] = dialog.chkDS[k]->isChecked();
    };
    w->cmdCTSet->click();
    ASSERT_TRUE(WaitUntil([this] { return modalShows == 2 && lineIdle(); }, 5000));
    EXPECT_EQ(shown, (std::array<bool, 9>{false, false, true, true, true, true, true, true, true}));
}

TEST_F(LiveEnableDialog, ReadingPausesWhileTheDialogIsOpenAndResumesAfter) {
    startBoth(kOwn, 1, kStillSeed);
    if (HasFatalFailure()) return;
    w->chkDI->setChecked(true);
    w->txtAutoRead->setText(QStringLiteral("1"));
    w->chkRead->setChecked(true);
    qint64 requestsWhileOpen = -1;
    onModal = [&](FrmSub&) {
        const qint64 atOpen = sim.Count("requests");
        RunEventsFor(1500);  // more than one read interval
        requestsWhileOpen = sim.Count("requests") - atOpen;
    };
    ASSERT_TRUE(settle());
    w->cmdCTSet->click();
    ASSERT_TRUE(WaitUntil([this] { return modalShows == 1; }, 5000));
    EXPECT_EQ(requestsWhileOpen, 0);
    EXPECT_TRUE(w->chkRead->isChecked());
    const qint64 afterClose = sim.Count("requests");
    ASSERT_TRUE(WaitUntil([&] { return sim.Count("requests") > afterClose; }, 3000))
        << "reading did not resume";
    w->chkRead->setChecked(false);
    ASSERT_TRUE(settle());
}

TEST_F(LiveTimeouts, AWrongStationEndsInTimeOut) {
    startSimulator(5, kStillSeed);
    if (HasFatalFailure()) return;
    startWindow();
    openPort(kOwn, 1);
    ASSERT_TRUE(readOnce(true, false, false));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Time Out"));
    EXPECT_EQ(w->PollStep, 0);  // the cycle was abandoned
    EXPECT_EQ(sim.Count("other_station"), 1);
    EXPECT_EQ(sim.Count("answers"), 0);
    // The same read at the module's station is answered.
    closePort();
    openPort(kOwn, 5);
    ASSERT_TRUE(readOnce(true, false, false));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
}

TEST_F(LiveTimeouts, AWrongBaudRateEndsInTimeOut) {
    startSimulator(1, kStillSeed, {QStringLiteral("--baud"), QStringLiteral("9600")});
    if (HasFatalFailure()) return;
    startWindow();
    openPort(kOwn, 1, QStringLiteral("19200"));
    ASSERT_TRUE(readOnce(false, true, false));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Time Out"));
    EXPECT_GT(sim.Count("wrong_speed_bytes"), 0);
    EXPECT_EQ(sim.Count("requests"), 0);
    closePort();
    openPort(kOwn, 1, QStringLiteral("9600"));
    ASSERT_TRUE(readOnce(false, true, false));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
}

TEST_F(LiveTimeouts, AnUnansweredCommandEndsInTimeOutAndChangesNothing) {
    startSimulator(5, kStillSeed);
    if (HasFatalFailure()) return;
    startWindow();
    openPort(kOwn, 1);
    w->cmdDO[4]->click();
    ASSERT_TRUE(settle());
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Time Out"));
    EXPECT_EQ(windowOutputs(), QStringLiteral("00000000"));
    EXPECT_EQ(BackColor(w->cmdDO[4]), kOffColor);
}

// Modbus RTU has no end marker: whatever came by the deadline is judged, so
// silence is a read that found nothing, not a timeout.
TEST_F(LiveTimeouts, AnUnansweredModbusRtuReadEndsAtTheDeadlineAndKeepsTheCounters) {
    startBoth(kModbusRtu, 1, 7);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(readOnce(true, false, false));
    const std::array<double, 8> read = w->CounterValue;
    ASSERT_EQ(read, simCounters());
    ASSERT_NE(read, (std::array<double, 8>{}));
    // Station 2 is nobody on this line.
    w->cmdCOMM->click();
    openPort(kModbusRtu, 2);
    ASSERT_TRUE(readOnce(true, false, false));
    EXPECT_EQ(w->labReport->text(), QStringLiteral("Read OK"));
    EXPECT_EQ(w->CounterValue, read);
    EXPECT_EQ(w->txtCTRaw[0]->text(), QString::number(static_cast<qulonglong>(read[0])));
    EXPECT_EQ(sim.Count("other_station"), 1);
}

}  // namespace
}  // namespace tally::e2e
