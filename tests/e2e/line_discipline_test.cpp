#include "live_window_fixture.h"

namespace tally::e2e {
namespace {

class LateAnswers : public LiveWindowTest, public ::testing::WithParamInterface<int> {};

// Answers begin 0.25 s after each request and come in pieces 10-60 ms apart, so
// some are still arriving at the deadline (0.34 s for the counters in Korvi). Such
// a request times out, the next one waits until the line has been quiet, and the
// late answer is dropped: overlaps stay 0 (checked when the simulator stops) and
// each row holds its own module's counters.
TEST_P(LateAnswers, AreNeitherTalkedOverNorTakenForTheNextStationsRead) {
    const int protocol = GetParam();
    // A seed whose pieces make several answers late in two cycles.
    ASSERT_TRUE(startSimulator(1, 5, {"--station", "1,2", "--delay", "250", "--split"}));
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    const char* const options[] = {"korvi", "ascii", "rtu"};
    const char* const logNames[] = {"korvi", "modbus-ascii", "modbus-rtu"};
    QProcess program;
    runHeadless(program, {"--protocol", options[protocol], "--station", "1,2", "--csv", csv,
                          "--cycles", "2"});
    Finished(program, 0, 20000);
    stopSimulator();  // its stats final, its overlaps checked

    const QJsonObject stations = sim.Stats().value(QStringLiteral("stations")).toObject();
    // A row for each station and cycle that had any read answered in time.
    const QList<QStringList> rows = CsvRows(csv);
    ASSERT_LE(rows.size(), 5);
    QSet<QString> withCounters;
    int whole = 0;
    for (const QStringList& row : rows.mid(1)) {
        ASSERT_EQ(row.size(), 43) << row.join(',').toStdString();
        EXPECT_EQ(row[2], QLatin1String(logNames[protocol]));
        // Raw counters from the 4th cell, the inputs from the 28th, the outputs from the 36th.
        whole += !row[3].isEmpty() && !row[27].isEmpty() && !row[35].isEmpty();
        if (row[3].isEmpty()) continue;
        withCounters.insert(row[1]);
        SCOPED_TRACE(row.join(',').toStdString());
        ExpectCloseBelow(
            row.mid(3, 8),
            stations.value(row[1]).toObject()["state"].toObject()["counters"].toArray());
    }
    EXPECT_GE(withCounters.size(), 2) << "too few counters came in time to tell stations apart";
    EXPECT_LT(whole, 4) << "every read came in time: the run shows nothing";
}

INSTANTIATE_TEST_SUITE_P(AllProtocols, LateAnswers,
                         ::testing::Values(kOwn, kModbusAscii, kModbusRtu),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return kProtocolNames[info.param];
                         });

}  // namespace
}  // namespace tally::e2e
