// The counter log against the simulated module: from the window in every
// protocol, and from headless runs of the program itself.
#include <QSettings>
#include <csignal>

#include "live_window_fixture.h"
#include "log/log_row.h"
#include "ui/frm_log.h"
#include "ui/number_text.h"

namespace tally::e2e {
namespace {

const char* const kLogNames[] = {"korvi", "modbus-ascii", "modbus-rtu"};
const char* const kOptionNames[] = {"korvi", "ascii", "rtu"};

// The log's lines, each split into its cells; the header first.
QList<QStringList> csvRows(const QString& path, QString* whole = nullptr) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromLatin1(file.readAll());
    if (whole != nullptr) *whole = text;
    QList<QStringList> rows;
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        rows.push_back(line.split(QLatin1Char(',')));
    return rows;
}

QString cells(const QStringList& row, int first) {
    return row.mid(first, 8).join(QString());
}

class CounterLogLive : public LiveWindowTest {
  protected:
    void SetUp() override {
        // The window remembers the log's path for the user; not this user's.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
};

TEST_F(CounterLogLive, RowsHoldTheModulesValuesInEveryProtocolAndFailedReadsLeaveEmptyCells) {
    startSimulator(1, kStillSeed, {"--drop", "0.25"});
    if (HasFatalFailure()) return;
    startWindow();
    openPort(kOwn, 1);
    if (HasFatalFailure()) return;
    // Eight different counters and two outputs on; a dropped command just leaves
    // the module as it was, and the module's own record is what rows are checked against.
    for (int k = 1; k <= 8; ++k) {
        w->cmbDC->setCurrentText(QString::number(k));
        w->txtCTSet->setText(k < 8 ? QString::number(k * 1000003) : QStringLiteral("4294967000"));
        w->chkCTSet->setChecked(true);
        ASSERT_TRUE(settle());
    }
    for (int n : {1, 6}) {
        w->cmdDO[static_cast<std::size_t>(n)]->click();
        ASSERT_TRUE(settle());
    }
    w->txtCTMulti[1]->setText(QStringLiteral("2.5"));

    w->mnuLog->trigger();
    ASSERT_NE(w->frmLog, nullptr);
    const QString path = dir.filePath(QStringLiteral("shift.csv"));
    w->frmLog->txtLogFile->setText(path);
    w->frmLog->cmdLogStart->click();
    ASSERT_EQ(w->frmLog->cmdLogStart->text(), QStringLiteral("Stop Logging"));
    for (int protocol : {kOwn, kModbusAscii, kModbusRtu}) {
        w->optProtocol[static_cast<std::size_t>(protocol)]->setChecked(true);
        for (int cycle = 0; cycle < 5; ++cycle)
            ASSERT_TRUE(readOnce(true, true, true));
    }
    w->frmLog->cmdLogStart->click();
    EXPECT_EQ(w->frmLog->labLogState->text(), QStringLiteral("Not logging"));

    const std::array<double, 8> counters = simCounters();
    QString raw, scaled;
    for (std::size_t i = 0; i < 8; ++i) {
        raw += QString::fromStdString(ShortestDecimal(counters[i]));
        scaled += QString::fromStdString(FormatDecimal(counters[i] * (i == 1 ? 2.5 : 1.0), 1, 4));
    }
    const QString inputs = simText("inputs");
    const QString outputs = simText("outputs");
    ASSERT_NE(counters, (std::array<double, 8>{}));

    const QList<QStringList> rows = csvRows(path);
    ASSERT_GT(rows.size(), 1);
    EXPECT_EQ(rows[0].join(QLatin1Char(',')), QString::fromStdString(LogHeader()));
    QMap<QString, int> perProtocol;
    int emptyGroups = 0;
    for (const QStringList& row : rows.mid(1)) {
        ASSERT_EQ(row.size(), 43) << row.join(',').toStdString();
        EXPECT_EQ(row[1], QStringLiteral("1"));
        ++perProtocol[row[2]];
        // A group is whole or empty: its read succeeded or it did not.
        const QString got[] = {cells(row, 3), cells(row, 11), cells(row, 19), cells(row, 27),
                               cells(row, 35)};
        const QString want[] = {raw, scaled, QString(), inputs, outputs};
        for (int g : {0, 3, 4}) {
            if (got[g].isEmpty()) {
                ++emptyGroups;
            } else {
                EXPECT_EQ(got[g], want[g]) << row.join(',').toStdString();
            }
        }
        EXPECT_EQ(got[1], got[0].isEmpty() ? QString() : scaled);
        EXPECT_EQ(got[2], QString()) << "single reads have no interval, so no rate";
    }
    EXPECT_GT(emptyGroups, 0) << "no read was dropped, so empty cells were not seen";
    for (const char* name : kLogNames)
        EXPECT_GT(perProtocol.value(QLatin1String(name)), 0) << name;
    EXPECT_LE(rows.size() - 1, 15);
}

// tallyscope --headless against the simulator, as a separate process.
class HeadlessLive : public ::testing::Test {
  protected:
    void TearDown() override {
        if (sim.Running()) {
            EXPECT_EQ(sim.Stop(), 0);
            EXPECT_EQ(sim.Count("overlaps"), 0);
        }
    }
    void startSimulator(const QStringList& extra = {}) {
        ASSERT_TRUE(dir.isValid());
        const QString error = sim.Start(dir.path(), QStringList{"--station", "1"} + extra);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }
    void start(QProcess& run, const QString& protocol, const QString& csv,
               const QStringList& extra = {}) {
        run.start(QStringLiteral(TALLYSCOPE_PATH),
                  QStringList{"--headless", "--port", dir.filePath(QStringLiteral("COM1")),
                              "--baud", "19200", "--station", "1", "--protocol", protocol,
                              "--every", "1", "--read", "dc,di,do", "--csv", csv} +
                      extra);
        ASSERT_TRUE(run.waitForStarted(5000));
    }
    QTemporaryDir dir;
    SimulatorProcess sim;
};

TEST_F(HeadlessLive, ThreeCyclesAtOneSecondGiveThreeRowsInEveryProtocol) {
    startSimulator({"--seed", QString::number(kMovingSeed)});
    if (HasFatalFailure()) return;
    for (int protocol : {kOwn, kModbusAscii, kModbusRtu}) {
        SCOPED_TRACE(kLogNames[protocol]);
        const QString csv = dir.filePath(QLatin1String(kLogNames[protocol]) + ".csv");
        QProcess run;
        start(run, QLatin1String(kOptionNames[protocol]), csv, {"--cycles", "3"});
        ASSERT_TRUE(run.waitForFinished(10000));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        const QList<QStringList> rows = csvRows(csv);
        ASSERT_EQ(rows.size(), 4);
        for (const QStringList& row : rows.mid(1)) {
            EXPECT_EQ(row.size(), 43);
            EXPECT_EQ(row[2], QLatin1String(kLogNames[protocol]));
            EXPECT_FALSE(cells(row, 3).isEmpty() || cells(row, 27).isEmpty() ||
                         cells(row, 35).isEmpty());
        }
        EXPECT_FALSE(cells(rows[2], 19).isEmpty()) << "a second reading one second on has a rate";
    }
}

TEST_F(HeadlessLive, SigtermMidRunLeavesCompleteLinesAndAPortThatCannotOpenExitsThree) {
    // Slow answers, so the signal falls inside a cycle.
    startSimulator({"--delay", "150"});
    if (HasFatalFailure()) return;
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    QProcess run;
    start(run, QStringLiteral("rtu"), csv);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 3; }, 10000));
    QThread::msleep(250);
    run.terminate();
    ASSERT_TRUE(run.waitForFinished(5000));
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    QString text;
    const QList<QStringList> rows = csvRows(csv, &text);
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), rows.size());
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), 43) << row.join(',').toStdString();

    QProcess absent;
    absent.start(QStringLiteral(TALLYSCOPE_PATH),
                 QStringList{"--headless", "--port", dir.filePath(QStringLiteral("COM9")), "--baud",
                             "19200", "--station", "1", "--protocol", "korvi", "--every", "1",
                             "--read", "dc", "--csv", "-"});
    ASSERT_TRUE(absent.waitForFinished(5000));
    EXPECT_EQ(absent.exitCode(), 3);
    EXPECT_TRUE(absent.readAllStandardError().contains("could not be opened: No such file"));
}

}  // namespace
}  // namespace tally::e2e
