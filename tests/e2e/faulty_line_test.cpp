// Answers dropped, split and garbled, stray bytes between exchanges: the program
// keeps polling and taking clicks, shows only its own status texts and never
// talks over an answer (checked when the simulator stops). With a checksum
// (Modbus) it also never shows what it did not get: on a still module every
// counter stays 0 and every lamp dark, and the outcomes add up to the faults.
#include <QRegularExpression>

#include "engine/line_event.h"
#include "live_window_fixture.h"

namespace tally::e2e {
namespace {

struct FaultRun {
    const char* name;
    int protocol;
    int seed;
    qint64 requests;  // the run ends once the simulator has seen this many
};

// Counts outcomes and checks, before every request and at the end of every
// cycle, that the window shows nothing but the still module's zeros.
class OutcomeTally : public LineListener {
  public:
    explicit OutcomeTally(const FrmMain& window) : w(window) {}
    void OnLineEvent(const LineEvent& event) override {
        if (event.type == LineEvent::Type::Outcome) {
            ++outcomes;
            good += OutcomeApplies(event.outcome) ? 1 : 0;
        }
        if (event.type != LineEvent::Type::Request && event.type != LineEvent::Type::CycleEnd)
            return;
        bool lit = false;
        for (const Lamp* lamp : w.shpDI)
            lit = lit || lamp->filled();
        if (w.CounterValue != std::array<double, 8>{} || lit) ++shownWrong;
    }
    const FrmMain& w;
    qint64 outcomes = 0, good = 0, shownWrong = 0;
};

class FaultyLine : public LiveWindowTest, public ::testing::WithParamInterface<FaultRun> {};

TEST_P(FaultyLine, PollingAndClicksSurviveDropsSplitsGarblesAndNoiseAndShowOnlyWhatCame) {
    const FaultRun& run = GetParam();
    // The simulator answers only at the rate the window must really use.
    ASSERT_TRUE(startSimulator(
        1, run.seed,
        {"--baud", "57600", "--drop", "0.2", "--split", "--garble", "0.15", "--noise"}));
    startWindow();
    // A fast line keeps a few hundred exchanges within seconds; the faults are the same.
    ASSERT_TRUE(openPort(run.protocol, 1, QStringLiteral("57600")));
    OutcomeTally tally(*w);
    w->engine().Events().Add(&tally);
    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);
    w->chkDO->setChecked(true);
    w->txtAutoRead->setText(QStringLiteral("0"));

    static const QRegularExpression known(
        QStringLiteral("^(On Line|Read (Value|DC|DI|DO|OK)|Time Out|Checksum Error|Bad Reply|"
                       "Write (OK|All DO|DO #[1-8]))$"));
    QSet<QString> unknown;
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
        // Now and then an idle line long enough for the stray bytes (sent 0.12-0.5 s
        // after an answer); otherwise the next request comes first and stops them.
        if (cycle % 4 == 1) WaitUntil([] { return false; }, 600);
    }
    EXPECT_TRUE(unknown.isEmpty()) << unknown.values().join(", ").toStdString();
    EXPECT_EQ(w->cmdCOMM->text(), QStringLiteral("Close Port")) << "the line was dropped";
    for (const char* fault : {"dropped", "split", "garbled", "noise"})
        EXPECT_GT(sim.Count(fault), 0) << fault;
    EXPECT_EQ(tally.outcomes, sim.Count("requests")) << "one outcome for every request";
    EXPECT_GT(tally.good, 0);
    if (run.protocol == kOwn) return;  // no checksum: a garbled digit can pass for another
    EXPECT_EQ(tally.shownWrong, 0) << "a value the module never sent was shown";
    // Every fault failed its request, and nothing else did but a stray burst that
    // came just as a request went out (it then heads the next answer).
    const qint64 faults = sim.Count("dropped") + sim.Count("garbled");
    EXPECT_GE(tally.outcomes - tally.good, faults);
    EXPECT_LE(tally.outcomes - tally.good, faults + sim.Count("noise"));
}

INSTANTIATE_TEST_SUITE_P(AllProtocols, FaultyLine,
                         ::testing::Values(FaultRun{"OwnProtocol", kOwn, 3, 60},
                                           FaultRun{"ModbusAscii", kModbusAscii, kStillSeed, 60},
                                           FaultRun{"ModbusRtu", kModbusRtu, kStillSeed, 60}),
                         [](const ::testing::TestParamInfo<FaultRun>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tally::e2e
