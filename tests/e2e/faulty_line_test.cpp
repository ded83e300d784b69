// Answers dropped, split and garbled, stray bytes between exchanges: the program
// keeps polling and taking clicks, shows only its own status texts and never
// talks over an answer (checked when the simulator stops).
#include <QRegularExpression>
#include <map>

#include "live_window_fixture.h"

namespace tally::e2e {
namespace {

struct FaultRun {
    const char* name;
    int protocol;
    int seed;
    qint64 requests;  // the run ends once the simulator has seen this many
    bool noise;
};

class FaultyLine : public LiveWindowTest, public ::testing::WithParamInterface<FaultRun> {};

TEST_P(FaultyLine, PollingAndOutputClicksSurviveDropsSplitsGarblesAndNoise) {
    const FaultRun& run = GetParam();
    // The simulator answers only at the fastest listed rate, which the window must use.
    QStringList faults{"--baud", "57600", "--drop", "0.2", "--split", "--garble", "0.1"};
    if (run.noise) faults << "--noise";
    startSimulator(1, run.seed, faults);
    if (HasFatalFailure()) return;
    startWindow();
    // A fast line keeps a few hundred exchanges within seconds; the faults are the same.
    openPort(run.protocol, 1, QStringLiteral("57600"));
    if (HasFatalFailure()) return;
    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);
    w->chkDO->setChecked(true);
    w->txtAutoRead->setText(QStringLiteral("0"));

    static const QRegularExpression known(QStringLiteral(
        "^(On Line|Read (Value|DC|DI|DO|OK)|Time Out|Write (OK|All DO|DO #[1-8]))$"));
    QSet<QString> unknown;
    std::map<QString, int> outcomes;  // status text at the end of each cycle
    for (int cycle = 0; sim.Count("requests") < run.requests; ++cycle) {
        w->chkRead->setChecked(true);
        // Every fourth cycle an output is toggled while the counter read is out.
        if (cycle % 4 == 3) w->cmdDO[static_cast<std::size_t>(cycle / 4 % 8 + 1)]->click();
        const bool ended = WaitUntil(
            [&] {
                if (!known.match(w->labReport->text()).hasMatch())
                    unknown.insert(w->labReport->text());
                return !w->chkRead->isChecked() && lineIdle();
            },
            5000);
        ASSERT_TRUE(ended) << "cycle " << cycle << " never ended; status "
                           << w->labReport->text().toStdString();
        ++outcomes[w->labReport->text()];
        // An idle line gives the stray bytes their time.
        if (run.noise) WaitUntil([] { return false; }, 250);
    }
    EXPECT_TRUE(unknown.isEmpty()) << unknown.values().join(", ").toStdString();
    EXPECT_GT(outcomes[QStringLiteral("Read OK")], 0);
    // An RTU read judges whatever came by the deadline, so it never says "Time Out".
    EXPECT_EQ(outcomes[QStringLiteral("Time Out")] > 0, run.protocol != kModbusRtu);
    EXPECT_EQ(w->cmdCOMM->text(), QStringLiteral("Close Port")) << "the line was dropped";
    for (const char* fault : {"dropped", "split", "garbled"})
        EXPECT_GT(sim.Count(fault), 0) << fault;
    EXPECT_EQ(sim.Count("noise") > 0, run.noise);
}

INSTANTIATE_TEST_SUITE_P(AllProtocols, FaultyLine,
                         ::testing::Values(FaultRun{"OwnProtocol", kOwn, 3, 120, false},
                                           FaultRun{"ModbusAscii", kModbusAscii, 3, 110, false},
                                           FaultRun{"ModbusRtu", kModbusRtu, 4, 30, false},
                                           FaultRun{"OwnProtocolWithNoise", kOwn, 5, 40, true}),
                         [](const ::testing::TestParamInfo<FaultRun>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tally::e2e
