// The counter log against the simulated module: from the window (beside the trend
// chart; each protocol's rows: the late answers runs), and from headless runs.
#include <unistd.h>

#include <QSettings>
#include <csignal>

#include "live_window_fixture.h"
#include "log/log_row.h"
#include "numbers/number_text.h"
#include "ui/windows/frm_log.h"

namespace tally::e2e {
namespace {

// The eight cells of a group from column `first`, run together.
QString group(const QStringList& row, int first) {
    return row.mid(first, 8).join(QString());
}

using CounterLogLive = LiveWindowTest;

TEST_F(CounterLogLive, RowsAndTheChartHoldTheModulesValuesAFullDiskStopsOnlyTheLog) {
    // The window remembers the log's path for the user: not for this user.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    ASSERT_TRUE(startSimulator(1, kStillSeed, {"--drop", "0.25"}));
    startWindow();
    ASSERT_TRUE(openPort(kOwn, 1));
    // Counters and an output that differ from their neighbours. A dropped command leaves
    // the module as it was: rows are checked against the module's own record.
    for (const char* channel : {"2", "8"}) {
        w->cmbDC->setCurrentText(QLatin1String(channel));
        w->txtCTSet->setText(QStringLiteral("4294967%1").arg(channel));
        w->chkCTSet->setChecked(true);
        ASSERT_TRUE(settle());
    }
    w->cmdDO[6]->click();
    ASSERT_TRUE(settle());
    w->txtCTMulti[1]->setText(QStringLiteral("2.5"));

    w->mnuLog->trigger();
    // A full disk stops logging with the reason, and polling goes on.
    w->frmLog->txtLogFile->setText(QStringLiteral("/dev/full"));
    w->frmLog->cmdLogStart->click();
    for (int i = 0; i < 10 && w->frmLog->cmdLogStart->text() == "Stop Logging"; ++i)
        ASSERT_TRUE(readOnce(true, true, true));
    const QString full = "Logging stopped after 0 rows: /dev/full: No space left on device";
    EXPECT_EQ(w->frmLog->labLogState->text().toStdString(), full.toStdString());
    EXPECT_EQ(w->labReport->toolTip().toStdString(), full.toStdString());

    w->mnuTrend->trigger();
    ASSERT_NE(w->frmTrend, nullptr);
    const QString path = dir.filePath(QStringLiteral("shift.csv"));
    w->frmLog->txtLogFile->setText(path);
    w->frmLog->cmdLogStart->click();
    for (int cycle = 0; cycle < 15; ++cycle)
        ASSERT_TRUE(readOnce(true, true, true));
    w->frmLog->cmdLogStart->click();
    EXPECT_EQ(w->frmLog->labLogState->text(), QStringLiteral("Not logging"));

    const std::array<double, 8> counters = simCounters();
    QString raw, scaled;
    for (std::size_t i = 0; i < 8; ++i) {
        raw += QString::fromStdString(ShortestDecimal(counters[i]));
        scaled += QString::fromStdString(FormatDecimal(counters[i] * (i == 1 ? 2.5 : 1.0), 1, 4));
    }
    const QList<QStringList> rows = CsvRows(path);
    ASSERT_GT(rows.size(), 1);
    EXPECT_EQ(rows[0].join(','), QString::fromStdString(LogHeader()));
    int emptyGroups = 0;
    for (const QStringList& row : rows.mid(1)) {
        ASSERT_EQ(row.size(), 43) << row.join(',').toStdString();
        EXPECT_EQ(row[1], QStringLiteral("1"));
        // Each group is whole or empty: its read succeeded or it did not.
        const std::pair<int, QString> groups[] = {
            {3, raw}, {27, simText("inputs")}, {35, simText("outputs")}};
        for (const auto& [first, want] : groups) {
            const QString got = group(row, first);
            emptyGroups += got.isEmpty();
            EXPECT_TRUE(got.isEmpty() || got == want) << row.join(',').toStdString();
        }
        EXPECT_EQ(group(row, 11), group(row, 3).isEmpty() ? QString() : scaled);
        EXPECT_EQ(group(row, 19), QString()) << "single reads have no interval, so no rate";
    }
    EXPECT_GT(emptyGroups, 0) << "no read was dropped, so empty cells were not seen";

    // The chart's newest points are the logged scaled values, drawn by its own timer.
    for (int k = 1; k <= 8; ++k) {
        QStringList logged, drawn;
        for (const QStringList& row : rows.mid(1))
            if (!row[3].isEmpty()) logged << row[10 + k];
        EXPECT_TRUE(WaitUntil(
            [&] {
                drawn.clear();
                for (const QPointF& point : TrendPoints(*w->frmTrend, k))
                    drawn << QString::fromStdString(FormatDecimal(point.y(), 1, 4));
                return drawn.mid(drawn.size() - logged.size()) == logged;
            },
            2000))
            << "channel " << k << ": " << drawn.join(' ').toStdString();
    }

    // The file is remembered for the user, and never in the settings file.
    closeWindow();
    startWindow();
    w->mnuLog->trigger();
    EXPECT_EQ(w->frmLog->txtLogFile->text(), path);
    QFile ini(dir.filePath(QStringLiteral("InitialVL4300.ini")));
    EXPECT_TRUE(ini.open(QIODevice::ReadOnly) && !ini.readAll().contains("shift"));
}

// tallyscope --headless against the simulator, as a process of its own.
class HeadlessLive : public LiveWindowTest {
  protected:
    void run(QProcess& program, const char* protocol, const QString& csv,
             const QStringList& extra = {}) {
        runHeadless(program, QStringList{"--protocol", protocol, "--csv", csv} + extra);
    }
};

// A signal inside a cycle lets the cycle end, and a row of it that could not be
// written ends the run with 4 and the reason (a full disk: the window's log test).
TEST_F(HeadlessLive, ALogThatCouldNotBeWrittenEndsTheRunWithFourAfterASignal) {
    // A cycle takes most of its second.
    ASSERT_TRUE(startSimulator(1, kMovingSeed, {"--delay", "250"}));
    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("run.csv"));
    QProcess program;
    run(program, "korvi", csv);
    ASSERT_TRUE(WaitUntil([&] { return CsvRows(csv).size() == 3; }, 10000));
    ASSERT_TRUE(folder.remove());
    // The row was written at the end of a cycle of three 0.25 s replies;
    // the next cycle runs from about 0.23 s to 1 s from here.
    QThread::msleep(600);
    program.terminate();
    EXPECT_TRUE(Finished(program, 4).contains("the log could not be written: "));
}

// A --port with a "/" is a path from the working folder; a bare name would be a
// device in /dev.
TEST_F(HeadlessLive, APortPathIsTakenFromTheWorkingFolderAndEveryRowIsKeptOnceAcrossRotations) {
    ASSERT_TRUE(startSimulator(1, kMovingSeed));
    const QFileInfo folder(dir.path());
    QProcess first;
    first.setWorkingDirectory(folder.path());
    run(first, "rtu", "-", {"--port", folder.fileName() + "/COM1", "--cycles", "1"});
    Finished(first);
    const QList<QByteArray> lines = first.readAllStandardOutput().split('\n');
    ASSERT_EQ(lines.size(), 3);  // the header, the row, and nothing after its line end
    EXPECT_TRUE(lines[0].startsWith("time,station,"));
    EXPECT_TRUE(lines[1].contains(",1,modbus-rtu,")) << lines[1].toStdString();
    // One that names nothing is reported where it was looked for.
    QProcess missing;
    missing.setWorkingDirectory(folder.path());
    run(missing, "rtu", "-", {"--port", folder.fileName() + "/COM9", "--cycles", "1"});
    const QString error = Finished(missing, 3);
    EXPECT_TRUE(error.contains(": " + dir.filePath("COM9"))) << error.toStdString();

    // As rotating tools do it: renamed away then a hangup, a hangup alone, then copied and
    // emptied in place (the next row begins the emptied file with its header again).
    const QString csv = dir.filePath(QStringLiteral("line1.csv"));
    const QString rotated = csv + QStringLiteral(".1"), copied = csv + QStringLiteral(".2");
    const auto rowsOf = [](const QString& name) { return static_cast<int>(CsvRows(name).size()); };
    const auto hangUp = [](QProcess& program) {
        ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
    };
    QProcess program;
    run(program, "rtu", csv);
    ASSERT_TRUE(WaitUntil([&] { return rowsOf(csv) >= 3; }, 10000));
    ASSERT_TRUE(QFile::rename(csv, rotated));
    const int before = rowsOf(rotated);
    ASSERT_TRUE(WaitUntil([&] { return rowsOf(rotated) > before; }, 5000));
    hangUp(program);
    ASSERT_TRUE(WaitUntil([&] { return rowsOf(csv) >= 2; }, 5000));
    hangUp(program);
    ASSERT_TRUE(WaitUntil([&] { return rowsOf(csv) >= 4; }, 5000));
    // Just after a row, so that none is written between the copy and the emptying.
    const int written = rowsOf(csv);
    ASSERT_TRUE(WaitUntil([&] { return rowsOf(csv) > written; }, 5000));
    ASSERT_TRUE(QFile::copy(csv, copied));
    ASSERT_EQ(::truncate(QFile::encodeName(csv).constData(), 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return rowsOf(csv) >= 2; }, 5000));
    hangUp(program);
    ASSERT_TRUE(WaitUntil([&] { return rowsOf(csv) >= 4; }, 5000));
    program.terminate();
    const QString said = Finished(program);
    EXPECT_EQ(said.count(QStringLiteral("reopened ") + csv), 3) << said.toStdString();
    // Every row the run said it wrote is in one of the files once, each begins with the header.
    int rows = 0;
    for (const QString& name : {rotated, copied, csv}) {
        const QList<QStringList> part = CsvRows(name);
        ASSERT_FALSE(part.isEmpty()) << name.toStdString();
        EXPECT_EQ(part.front().join(','), QString::fromStdString(LogHeader()));
        rows += static_cast<int>(part.size()) - 1;
    }
    EXPECT_TRUE(said.contains(QStringLiteral("; %1 rows written").arg(rows))) << said.toStdString();
}

}  // namespace
}  // namespace tally::e2e
