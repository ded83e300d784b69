// A bad line: answers dropped, split and garbled, stray bytes between
// exchanges. The program must keep polling, always show one of its own status
// texts, and never put a request on the line while an answer is going out.
#include "live_window_fixture.h"

namespace tally::e2e {
namespace {

bool KnownStatus(const QString& text) {
    static const QSet<QString> fixed = {
        QStringLiteral("On Line"),  QStringLiteral("Read Value"), QStringLiteral("Read DC"),
        QStringLiteral("Read DI"),  QStringLiteral("Read DO"),    QStringLiteral("Read OK"),
        QStringLiteral("Time Out"), QStringLiteral("Write OK"),   QStringLiteral("Write All DO"),
    };
    if (fixed.contains(text)) return true;
    for (int k = 1; k <= 8; ++k)
        if (text == QStringLiteral("Write DO #%1").arg(k)) return true;
    return false;
}

class FaultyLine : public LiveWindowTest {
  protected:
    struct Tally {
        int cycles = 0;
        QMap<QString, int> outcomes;  // status text at the end of each cycle
        QSet<QString> unknown;        // status texts that are none of the program's own
    };

    // Single cycles of all three reads until the simulator has seen `requests`
    // requests; every fourth cycle an output is toggled while the reads run.
    void runCycles(qint64 requests, int pauseMs, Tally& tally) {
        const auto watch = [&] {
            if (!KnownStatus(w->labReport->text())) tally.unknown.insert(w->labReport->text());
        };
        while (sim.Count("requests") < requests) {
            w->txtAutoRead->setText(QStringLiteral("0"));
            w->chkRead->setChecked(true);
            if (tally.cycles % 4 == 3)
                w->cmdDO[static_cast<std::size_t>(tally.cycles / 4 % 8 + 1)]->click();
            const bool ended =
                WaitUntil([this] { return !w->chkRead->isChecked() && lineIdle(); }, 5000, watch);
            ASSERT_TRUE(ended) << "cycle " << tally.cycles << " never ended; status "
                               << w->labReport->text().toStdString();
            ++tally.cycles;
            tally.outcomes[w->labReport->text()] += 1;
            if (pauseMs > 0) RunEventsFor(pauseMs);
        }
    }

    void expectStillWorking(const Tally& tally) {
        EXPECT_TRUE(tally.unknown.isEmpty()) << tally.unknown.values().join(", ").toStdString();
        EXPECT_GT(tally.outcomes.value(QStringLiteral("Read OK")), 0);
        EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
        EXPECT_EQ(w->cmdCOMM->text(), QStringLiteral("Close Port")) << "the line was dropped";
    }

    void checkAllReads() {
        w->chkDC->setChecked(true);
        w->chkDI->setChecked(true);
        w->chkDO->setChecked(true);
    }
};

class FaultyLineProtocols : public FaultyLine, public ::testing::WithParamInterface<int> {};

TEST_P(FaultyLineProtocols, PollingSurvivesDropsSplitsAndGarbles) {
    // Seeds whose first few answers include every fault, for each protocol's number of rounds.
    const int seeds[] = {3, 3, 4};
    startSimulator(1, seeds[GetParam()],
                   {QStringLiteral("--drop"), QStringLiteral("0.2"), QStringLiteral("--split"),
                    QStringLiteral("--garble"), QStringLiteral("0.1")});
    if (HasFatalFailure()) return;
    startWindow();
    // A fast line keeps a few hundred exchanges within seconds; the faults are the same.
    openPort(GetParam(), 1, QStringLiteral("115200"));
    if (HasFatalFailure()) return;
    checkAllReads();
    Tally tally;
    // An RTU read always waits out its deadline, so it gets fewer rounds.
    const qint64 requests[] = {90, 50, 12};
    runCycles(requests[GetParam()], 0, tally);
    if (HasFatalFailure()) return;
    expectStillWorking(tally);
    if (GetParam() != kModbusRtu) {
        EXPECT_GT(tally.outcomes.value(QStringLiteral("Time Out")), 0);
    }
    EXPECT_GT(sim.Count("dropped"), 0);
    EXPECT_GT(sim.Count("split"), 0);
    EXPECT_GT(sim.Count("garbled"), 0);
}

INSTANTIATE_TEST_SUITE_P(AllProtocols, FaultyLineProtocols,
                         ::testing::Values(kOwn, kModbusAscii, kModbusRtu),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return ProtocolName(info.param);
                         });

TEST_F(FaultyLine, PollingSurvivesStrayBytesBetweenExchanges) {
    startSimulator(1, 5,
                   {QStringLiteral("--noise"), QStringLiteral("--drop"), QStringLiteral("0.2"),
                    QStringLiteral("--split"), QStringLiteral("--garble"), QStringLiteral("0.1")});
    if (HasFatalFailure()) return;
    startWindow();
    openPort(kOwn, 1, QStringLiteral("115200"));
    if (HasFatalFailure()) return;
    checkAllReads();
    Tally tally;
    // Pauses leave the line idle long enough for the stray bytes to come.
    runCycles(30, 250, tally);
    if (HasFatalFailure()) return;
    expectStillWorking(tally);
    EXPECT_GT(sim.Count("noise"), 0);
}

}  // namespace
}  // namespace tally::e2e
