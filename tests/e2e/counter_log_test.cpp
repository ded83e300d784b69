// The counter log against the simulated module: from the window in every
// protocol, and from headless runs of the program itself.
#include <unistd.h>

#include <QRegularExpression>
#include <QSettings>
#include <csignal>

#include "live_window_fixture.h"
#include "log/log_row.h"
#include "numbers/number_text.h"
#include "ui/frm_log.h"

namespace tally::e2e {
namespace {

const char* const kLogNames[] = {"korvi", "modbus-ascii", "modbus-rtu"};

// The log's lines split into cells, header first; `text` gets the whole file.
QList<QStringList> csvRows(const QString& path, QString* text = nullptr) {
    QFile file(path);
    const QString all = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : "";
    if (text != nullptr) *text = all;
    QList<QStringList> rows;
    for (const QString& line : all.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        rows.push_back(line.split(QLatin1Char(',')));
    return rows;
}

// The eight cells of a group from column `first`, run together.
QString group(const QStringList& row, int first) {
    return row.mid(first, 8).join(QString());
}

using CounterLogLive = LiveWindowTest;

TEST_F(CounterLogLive, RowsHoldTheModulesValuesFailedReadsLeaveEmptyCellsAFullDiskStopsOnlyTheLog) {
    // The window remembers the log's path for the user: not for this user.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    startSimulator(1, kStillSeed, {"--drop", "0.25"});
    if (HasFatalFailure()) return;
    startWindow();
    openPort(kOwn, 1);
    if (HasFatalFailure()) return;
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
    EXPECT_EQ(w->frmLog->windowTitle(), QStringLiteral("Tallyscope, Counter Log"));
    EXPECT_EQ(w->mnuLog->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+L")));
    // A full disk stops logging with the reason, and polling goes on.
    w->frmLog->txtLogFile->setText(QStringLiteral("/dev/full"));
    w->frmLog->cmdLogStart->click();
    for (int i = 0; i < 10 && w->frmLog->cmdLogStart->text() == "Stop Logging"; ++i)
        ASSERT_TRUE(readOnce(true, true, true));
    const QString full = "Logging stopped after 0 rows: /dev/full: No space left on device";
    EXPECT_EQ(w->frmLog->labLogState->text().toStdString(), full.toStdString());
    EXPECT_EQ(w->labReport->toolTip().toStdString(), full.toStdString());

    const QString path = dir.filePath(QStringLiteral("shift.csv"));
    w->frmLog->txtLogFile->setText(path);
    w->frmLog->cmdLogStart->click();
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
    const QList<QStringList> rows = csvRows(path);
    ASSERT_GT(rows.size(), 1);
    EXPECT_EQ(rows[0].join(','), QString::fromStdString(LogHeader()));
    QSet<QString> protocols;
    int emptyGroups = 0;
    for (const QStringList& row : rows.mid(1)) {
        ASSERT_EQ(row.size(), 43) << row.join(',').toStdString();
        EXPECT_EQ(row[1], QStringLiteral("1"));
        protocols.insert(row[2]);
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
    EXPECT_EQ(protocols, QSet<QString>({"korvi", "modbus-ascii", "modbus-rtu"}));

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
        program.start(QStringLiteral(TALLYSCOPE_PATH),
                      QStringList{"--headless", "--port", dir.filePath(QStringLiteral("COM1")),
                                  "--baud", "19200", "--station", "1", "--protocol", protocol,
                                  "--every", "1", "--read", "dc,di,do", "--csv", csv} +
                          extra);
        ASSERT_TRUE(program.waitForStarted(5000));
    }
};

TEST_F(HeadlessLive, ThreeCyclesGiveThreeRowsSigtermLeavesWholeLinesAnAbsentPortExitsThree) {
    startSimulator(1, kMovingSeed, {"--delay", "150"});  // a signal then falls inside a cycle
    if (HasFatalFailure()) return;
    const char* const options[] = {"korvi", "ascii", "rtu"};
    for (int protocol : {kOwn, kModbusAscii, kModbusRtu}) {
        SCOPED_TRACE(kLogNames[protocol]);
        const QString csv = dir.filePath(QLatin1String(options[protocol]) + ".csv");
        QProcess program;
        run(program, options[protocol], csv, {"--cycles", "3"});
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        const QList<QStringList> rows = csvRows(csv);
        ASSERT_EQ(rows.size(), 4);
        for (const QStringList& row : rows.mid(1)) {
            EXPECT_EQ(row[2], QLatin1String(kLogNames[protocol]));
            EXPECT_FALSE(group(row, 3).isEmpty() || group(row, 35).isEmpty());
        }
        EXPECT_FALSE(group(rows[2], 19).isEmpty()) << "a reading one second on has a rate";
    }

    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    QProcess program;
    run(program, "rtu", csv);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 3; }, 10000));
    QThread::msleep(250);
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    QString text;
    const QList<QStringList> rows = csvRows(csv, &text);
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), rows.size());
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), 43) << row.join(',').toStdString();

    QProcess absent;  // the later --port counts
    run(absent, "korvi", "-", {"--port", dir.filePath(QStringLiteral("COM9"))});
    ASSERT_TRUE(absent.waitForFinished(5000));
    EXPECT_EQ(absent.exitCode(), 3);
    EXPECT_TRUE(absent.readAllStandardError().contains("could not be opened: No such file"));
}

// However a run ends (--cycles, a signal), a log that could not be written
// ends it with 4 and the reason.
TEST_F(HeadlessLive, ALogThatCouldNotBeWrittenEndsTheRunWithFourHoweverItEnds) {
    startSimulator(1, kMovingSeed, {"--delay", "250"});  // a cycle takes most of its second
    if (HasFatalFailure()) return;
    const auto endsWithFour = [](QProcess& program) {
        ASSERT_TRUE(program.waitForFinished(10000));
        const QByteArray said = program.readAllStandardError();
        EXPECT_EQ(program.exitCode(), 4) << said.toStdString();
        EXPECT_TRUE(said.contains("the log could not be written: ")) << said.toStdString();
    };
    {
        SCOPED_TRACE("full disk, one cycle");
        QProcess program;
        run(program, "korvi", QStringLiteral("/dev/full"), {"--cycles", "1", "--read", "dc"});
        endsWithFour(program);
    }
    for (const bool signal : {false, true}) {
        SCOPED_TRACE(signal ? "folder removed, then SIGTERM inside a cycle"
                            : "folder removed before the last of three cycles");
        QTemporaryDir folder;
        const QString csv = folder.filePath(QStringLiteral("run.csv"));
        QProcess program;
        run(program, "korvi", csv, signal ? QStringList{} : QStringList{"--cycles", "3"});
        ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() == 3; }, 10000));
        ASSERT_TRUE(folder.remove());
        if (signal) {
            // The row was written at the end of a cycle of three 0.25 s replies;
            // the next cycle runs from about 0.23 s to 1 s from here.
            QThread::msleep(600);
            program.terminate();
        }
        endsWithFour(program);
    }
}

TEST_F(HeadlessLive, EveryRowIsKeptOnceAcrossALogRotation) {
    startSimulator(1, kMovingSeed);
    if (HasFatalFailure()) return;
    const QString csv = dir.filePath(QStringLiteral("line1.csv"));
    const QString rotated = csv + QStringLiteral(".1");
    QProcess program;
    run(program, "rtu", csv);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 3; }, 10000));

    // As a rotating tool does it: rename, a while, then the hangup; the rows of the
    // while go on into the renamed file. A second hangup without a rotation changes nothing.
    ASSERT_TRUE(QFile::rename(csv, rotated));
    const int before = static_cast<int>(csvRows(rotated).size());
    ASSERT_TRUE(WaitUntil([&] { return csvRows(rotated).size() > before; }, 5000));
    ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 2; }, 5000));
    ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 4; }, 5000));
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(err.count(QStringLiteral("reopened ") + csv), 2) << err.toStdString();

    // Both files begin with the header; together they hold every row the run wrote, once
    // each: a row lost or written twice would change the count.
    QList<QStringList> rows;
    for (const QString& name : {rotated, csv}) {
        const QList<QStringList> part = csvRows(name);
        ASSERT_FALSE(part.isEmpty());
        EXPECT_EQ(part.front().join(','), QString::fromStdString(LogHeader()));
        rows += part.mid(1);
    }
    const QRegularExpression written(QStringLiteral("(\\d+) rows written"));
    const auto match = written.match(err);
    ASSERT_TRUE(match.hasMatch()) << err.toStdString();
    EXPECT_EQ(rows.size(), match.captured(1).toInt());
}

// A --port with a "/" is a path from the working folder, written with or without
// "./"; a bare name would be a device in /dev.
TEST_F(HeadlessLive, APortPathIsTakenFromTheWorkingFolder) {
    startSimulator(1, kMovingSeed);
    if (HasFatalFailure()) return;
    const QFileInfo folder(dir.path());
    for (const QString& port : {folder.fileName() + "/COM1", "./" + folder.fileName() + "/COM1"}) {
        SCOPED_TRACE(port.toStdString());
        QProcess program;
        program.setWorkingDirectory(folder.path());
        run(program, "rtu", "-", {"--port", port, "--cycles", "1"});
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        const QList<QByteArray> lines = program.readAllStandardOutput().split('\n');
        ASSERT_EQ(lines.size(), 3);  // the header, the row, and nothing after its line end
        EXPECT_TRUE(lines[0].startsWith("time,station,"));
        EXPECT_TRUE(lines[1].contains(",1,modbus-rtu,")) << lines[1].toStdString();
    }
}

// --every 0, the window's single read, has no meaning for a run that keeps polling.
TEST_F(HeadlessLive, EveryZeroIsAUsageErrorThatSaysWhy) {
    QProcess program;
    run(program, "rtu", "-", {"--every", "0"});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 2);
    const QByteArray said = program.readAllStandardError();
    EXPECT_TRUE(said.contains("--every 0: give whole seconds from 1 to 60")) << said.toStdString();
    EXPECT_TRUE(said.contains("single read")) << said.toStdString();
}

// A rotating tool that copies the file and then empties it in place: the run's
// next row begins the emptied file with its header, a hangup after it reopens
// it, and a restart appends to it, also where an earlier run left rows without
// their header.
TEST_F(HeadlessLive, AFileEmptiedInPlaceBeginsWithItsHeaderAgainAndRestartsAppendToIt) {
    startSimulator(1, kMovingSeed);
    if (HasFatalFailure()) return;
    const QString csv = dir.filePath(QStringLiteral("line1.csv"));
    const QString copied = csv + QStringLiteral(".1");
    const QString header = QString::fromStdString(LogHeader());
    QProcess program;
    run(program, "rtu", csv);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 3; }, 10000));
    // Just after a row, so that none is written between the copy and the emptying.
    const int before = static_cast<int>(csvRows(csv).size());
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() > before; }, 5000));
    ASSERT_TRUE(QFile::copy(csv, copied));
    ASSERT_EQ(::truncate(QFile::encodeName(csv).constData(), 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 2; }, 5000));
    EXPECT_EQ(csvRows(csv).front().join(','), header);
    ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
    ASSERT_TRUE(WaitUntil([&] { return csvRows(csv).size() >= 4; }, 5000))
        << program.readAllStandardError().toStdString();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(err.count(QStringLiteral("reopened ") + csv), 1) << err.toStdString();

    // The copy and the emptied file hold every row the run wrote, once each, and
    // each begins with the header once.
    QList<QStringList> rows;
    for (const QString& name : {copied, csv}) {
        const QList<QStringList> part = csvRows(name);
        ASSERT_FALSE(part.isEmpty());
        EXPECT_EQ(part.front().join(','), header);
        for (const QStringList& row : part.mid(1)) {
            EXPECT_NE(row.join(','), header) << name.toStdString();
            EXPECT_EQ(row.size(), 43);
        }
        rows += part.mid(1);
    }
    const auto match = QRegularExpression(QStringLiteral("(\\d+) rows written")).match(err);
    ASSERT_TRUE(match.hasMatch()) << err.toStdString();
    EXPECT_EQ(rows.size(), match.captured(1).toInt());

    // A restart appends; so does one on rows whose header an earlier run lost.
    QString text;
    const int kept = static_cast<int>(csvRows(csv, &text).size());
    for (const bool headerLost : {false, true}) {
        SCOPED_TRACE(headerLost ? "rows without their header" : "the emptied file");
        if (headerLost) {
            QFile file(csv);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(text.mid(text.indexOf(QStringLiteral("\r\n")) + 2).toLatin1());
        }
        QProcess again;
        run(again, "rtu", csv, {"--cycles", "1"});
        ASSERT_TRUE(again.waitForFinished(10000));
        EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
        const QList<QStringList> now = csvRows(csv);
        EXPECT_EQ(now.size(), kept + (headerLost ? 0 : 1));
        EXPECT_EQ(now.front().join(',') == header, !headerLost);
        EXPECT_EQ(now.back().size(), 43);
    }
}

// Several modules on one line: each cycle reads each listed station in turn.
TEST_F(HeadlessLive, ThreeStationsThreeCyclesGiveNineRowsEachWithItsOwnStationsValues) {
    startSimulator(1, kMovingSeed, {"--station", "1,2,5"});
    if (HasFatalFailure()) return;
    const char* const options[] = {"korvi", "ascii", "rtu"};
    for (int protocol : {kOwn, kModbusAscii, kModbusRtu}) {
        SCOPED_TRACE(kLogNames[protocol]);
        const QString csv = dir.filePath(QLatin1String(options[protocol]) + "-3.csv");
        QProcess program;
        run(program, options[protocol], csv, {"--station", "1,2,5", "--cycles", "3"});
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        const QJsonObject stations = sim.Stats().value(QStringLiteral("stations")).toObject();
        const QList<QStringList> rows = csvRows(csv);
        ASSERT_EQ(rows.size(), 10);
        for (int r = 1; r < rows.size(); ++r) {
            const QStringList& row = rows[r];
            const QString station = QStringLiteral("125").mid((r - 1) % 3, 1);
            ASSERT_EQ(row[1], station);
            EXPECT_FALSE(group(row, 3).isEmpty() || group(row, 27).isEmpty() ||
                         group(row, 35).isEmpty());
            // Counters only count up, a step or so a request: each row is close below
            // its own module's counters now, thousands away from the others'.
            const QJsonArray now =
                stations.value(station).toObject()["state"].toObject()["counters"].toArray();
            for (int k = 0; k < 8; ++k) {
                const double behind = now.at(k).toDouble() - row[3 + k].toDouble();
                EXPECT_TRUE(behind >= 0 && behind <= 30) << row.join(',').toStdString();
            }
        }
    }
}

}  // namespace
}  // namespace tally::e2e
