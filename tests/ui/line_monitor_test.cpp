#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "engine/line_statistics.h"
#include "ui/models/station_multipliers.h"
#include "ui/models/stations_model.h"
#include "ui/windows/frm_line.h"
#include "ui/windows/frm_log.h"

namespace tally {
namespace {

// Laid out as the operator sees it, at the window's own first size on a desktop's screen.
void ShowAndLayOut(QWidget& window) {
    window.show();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// The label shows its whole text where the layout put it (wrapped or not).
void ExpectWhole(const QLabel* label) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_TRUE(label->isVisible());
    const int height =
        label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
    EXPECT_LE(height, label->height()) << label->text().toStdString();
    if (!label->wordWrap()) {
        EXPECT_LE(label->sizeHint().width(), label->width());
    }
    // Nothing of it outside the window.
    const QRect inWindow(label->mapTo(label->window(), QPoint(0, 0)), label->size());
    EXPECT_TRUE(label->window()->rect().contains(inWindow));
}

TEST(CounterLogWindow, TheFileFieldHasALabelAndALongStatusIsShownWhole) {
    LineEvents events;
    FrmLog window(events, [] { return LogContext(); });
    ShowAndLayOut(window);
    ASSERT_NE(window.labLogFile, nullptr);
    EXPECT_EQ(window.labLogFile->buddy(), window.txtLogFile);
    ExpectWhole(window.labLogFile);
    ExpectWhole(window.labLogState);

    // A failure that names a long path takes several lines: the window makes room.
    QTemporaryDir dir;
    const QString path = dir.filePath(
        QStringLiteral("a-folder-that-is-not-there/with/a/long/path/for/the/counter/log/of/"
                       "the/second/filling/line/in/hall/three/counters.csv"));
    window.txtLogFile->setText(path);
    window.cmdLogStart->click();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window.labLogState->text().contains(path));
    ExpectWhole(window.labLogState);
}

// Request n carries its number in its bytes, so a row tells which event it is.
LineEvent Request(int n, LineEvent::Type type = LineEvent::Type::Request) {
    LineEvent event;
    event.type = type;
    event.bytes = "#01RCT" + std::to_string(n) + "\r";
    // Local noon, whatever the machine's zone.
    event.utcMs =
        QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::LocalTime).toMSecsSinceEpoch() + n * 1000;
    return event;
}

LineEvent Reply(const std::string& bytes, Outcome outcome, double ms) {
    LineEvent event = Request(0, LineEvent::Type::Outcome);
    event.bytes = bytes;
    event.outcome = outcome;
    event.statusText = OutcomeText(outcome, 0);
    event.replyMs = ms;
    return event;
}

TEST(LineStatistics, CountsByOutcomeAndTimesTheLastThousandGoodReplies) {
    LineStatistics stats;
    for (int n = 1; n <= 1200; ++n) {
        stats.Add(Request(n));
        stats.Add(Reply(">", Outcome::Ok(), n));
    }
    for (OutcomeKind kind : {OutcomeKind::TimeOut, OutcomeKind::ChecksumError,
                             OutcomeKind::BadReply, OutcomeKind::Exception}) {
        stats.Add(Request(0));
        stats.Add(Reply("", Outcome::Of(kind), 300.0));  // no time of its own
    }
    const auto counts = [&stats] {
        return std::vector<std::uint64_t>{stats.Requests(), stats.Replies(), stats.Timeouts(),
                                          stats.Errors(), stats.Exceptions()};
    };
    EXPECT_EQ(counts(), (std::vector<std::uint64_t>{1204, 1200, 1, 2, 1}));
    const ReplyTimeSummary t = stats.ReplyTimes();  // replies 201-1200; p95 the 950th of them
    EXPECT_EQ((std::vector<double>{double(t.count), t.minMs, t.meanMs, t.p95Ms, t.maxMs}),
              (std::vector<double>{1000, 201, 700.5, 1150, 1200}));

    stats.Add(Request(0, LineEvent::Type::Opened));
    EXPECT_EQ(counts(), std::vector<std::uint64_t>(5, 0));
    stats.Add(Reply(">", Outcome::Ok(), 7.0));
    EXPECT_DOUBLE_EQ(stats.ReplyTimes().p95Ms, 7.0);

    // Requests add up to the outcomes, plus the one on the line: a reset mid-exchange keeps
    // it, a request cut off by closing the port never gets an outcome.
    stats.Add(Request(2));
    stats.Reset();
    stats.Add(Reply(">", Outcome::Ok(), 5.0));
    stats.Add(Request(3));
    stats.Add(Request(0, LineEvent::Type::Closed));
    EXPECT_EQ(counts(), (std::vector<std::uint64_t>{1, 1, 0, 0, 0}));
}

TEST(LineModel, KeepsExactlyTheNewestRowsInBatchesWithoutAReset) {
    LineModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    // Checks every announcement against the rows there are.
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    int n = 0;
    // One event-loop turn each: a few rows, one short of full, past full, more than fit at once.
    for (int batch : {3, 9996, 2, 25000, 1}) {
        for (int i = 0; i < batch; ++i)
            model.Append(Request(n++));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(model.rowCount(), 10000);
    EXPECT_EQ(model.Row(0).bytes, Request(n - 10000).bytes);
    EXPECT_EQ(model.Row(9999).bytes, Request(n - 1).bytes);
    EXPECT_EQ(resets.count(), 0);
}

TEST(LineModel, ShowsBytesAsHexAndVisibleTextAndColoursFailures) {
    LineModel model;
    model.Append(Request(1));
    LineEvent ascii = Reply(":01030000\r\n", Outcome::ExceptionCode(2), 12.3456);
    ascii.protocol = Protocol::ModbusAscii;
    ascii.station = 7;
    model.Append(ascii);
    LineEvent rtu = Reply(std::string("\x01\x83\x02", 3), Outcome::Of(OutcomeKind::TimeOut), 300);
    rtu.protocol = Protocol::ModbusRtu;
    model.Append(rtu);
    LineEvent enable = Reply(">", Outcome::Ok(), 5);
    enable.request = LineRequest::ReadEnable;
    enable.statusText = "Read DC Status OK";  // shown as the status line said it
    model.Append(enable);
    // An answer that became whole after its request timed out: shown, marked, dropped.
    LineEvent late = Reply(">1\r", Outcome::Of(OutcomeKind::TimeOut), 395.5);
    late.type = LineEvent::Type::LateReply;
    late.statusText = kLateReplyText;
    model.Append(late);
    model.Commit();
    const auto row = [&](int r) { return model.RowText(r).split(QLatin1Char('\t')); };
    EXPECT_EQ(row(0), QStringList({"12:00:01.000", "TX", "0", "Korvi", "23 30 31 52 43 54 31 0D",
                                   "#01RCT1<CR>", "", ""}));
    EXPECT_EQ(row(1), QStringList({"12:00:00.000", "RX", "7", "Modbus Ascii",
                                   "3A 30 31 30 33 30 30 30 30 0D 0A", ":01030000<CR><LF>",
                                   "Exception 02 Illegal Data Address", "12.346"}));
    EXPECT_EQ(row(2).mid(3), QStringList({"Modbus RTU", "01 83 02", "", "Time Out", "300.000"}));
    EXPECT_EQ(row(3).at(6), "Read DC Status OK");
    EXPECT_EQ(row(4).mid(1), QStringList({"RX", "0", "Korvi", "3E 31 0D", ">1<CR>",
                                          "Late Reply (dropped)", "395.500"}));
    const auto colour = [&](int r) { return model.index(r, 0).data(Qt::BackgroundRole); };
    EXPECT_FALSE(colour(0).isValid() || colour(3).isValid()) << "a request, a good reply";
    EXPECT_EQ(colour(4), colour(2)) << "a late reply, a time-out";
    EXPECT_NE(colour(1), colour(2)) << "an exception, a time-out";
}

TEST(LineHistory, APollCyclesRowsAreCommittedOnceAsItEnds) {
    LineHistory history;
    int batches = 0;
    QObject::connect(&history.Model(), &QAbstractItemModel::rowsInserted,
                     [&batches] { ++batches; });
    for (int exchange = 0; exchange < 3; ++exchange) {
        history.OnLineEvent(Request(exchange));
        history.OnLineEvent(Reply(">", Outcome::Ok(), 12.0));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(batches, 0);
    history.OnLineEvent(Request(0, LineEvent::Type::CycleEnd));
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(history.Model().rowCount(), 6);
}

class LineWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        window.SetRefreshInterval(0);
        window.show();
    }
    void push(int count) {
        for (int i = 0; i < count; ++i)
            history.OnLineEvent(Request(n++));
        // The batch's commit, then the view's own deferred layout it asks for.
        for (int turn = 0; turn < 3; ++turn)
            QCoreApplication::processEvents();
    }
    LineHistory history;
    FrmLine window{history};
    int n = 0;
};

TEST_F(LineWindow, PauseKeepsTheViewStillWhileTheStatisticsGoOnAndCopyAndSaveGiveALinePerRow) {
    push(50);
    QScrollBar* scroll = window.tblLine->verticalScrollBar();
    EXPECT_EQ(scroll->value(), scroll->maximum());  // followed to the newest row
    window.chkLinePause->setChecked(true);
    push(10020);
    EXPECT_EQ(window.tblLine->model()->rowCount(), 50);
    EXPECT_EQ(window.Model().Row(0).bytes, Request(0).bytes);
    EXPECT_EQ(window.labStatRequests->text(), "Requests: 10070");
    window.chkLinePause->setChecked(false);
    EXPECT_EQ(window.Model().Row(9999).bytes, Request(n - 1).bytes);

    // Scrolled up, the operator keeps the rows in view as older ones drop away.
    scroll->setValue(100);
    const std::string shown = window.Model().Row(100).bytes;
    push(30);
    EXPECT_EQ(window.Model().Row(scroll->value()).bytes, shown);

    // Copy and Save give one tab-separated line per row.
    window.tblLine->selectRow(2);
    window.tblLine->selectionModel()->select(
        window.tblLine->model()->index(0, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.CopySelection();
    EXPECT_EQ(QApplication::clipboard()->text(),
              window.Model().RowText(0) + "\n" + window.Model().RowText(2) + "\n");

    QTemporaryDir dir;
    QStringList errors;
    window.messageBox = [&](const QString& title, const QString&) { errors << title; };
    for (const QString& path : {dir.filePath("line.txt"), dir.filePath("missing/line.txt")}) {
        window.chooseSaveFile = [&](const QString&) { return path; };
        window.cmdLineSave->click();
    }
    QFile saved(dir.filePath("line.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()).count(QLatin1Char('\n')),
              window.Model().rowCount());
    EXPECT_EQ(errors, QStringList{"Line Monitor not saved"});
}

// The Stations view's table from the line's events: each station's own values,
// multipliers and confirmations.
LineEvent StationRead(int station, LineRequest request, bool good) {
    LineEvent event;
    event.type = LineEvent::Type::Outcome;
    event.station = station;
    event.request = request;
    event.outcome = good ? Outcome::Ok() : Outcome::Of(OutcomeKind::TimeOut);
    if (good) {
        ReplyMeaning meaning;
        meaning.kind = request == LineRequest::ReadCounters ? ReplyMeaning::Kind::Counters
                                                            : ReplyMeaning::Kind::Inputs;
        meaning.counters[0] = 100.0;
        meaning.channels[7] = 1;
        event.meaning = meaning;
    }
    return event;
}

TEST(StationsModel, EachStationScalesWithItsOwnMultipliersAndGreysWhatItsLastReadsMissed) {
    StationTable table;
    StationsModel model(
        table, [] { return 1; }, [] { return std::array<double, 8>{3.0}; });
    model.SetStations({1, 2, 3});
    model.SetOwnMultipliers(ParseStationMultipliers(
        {"2:0.5,1,1,1,1,1,1,1", "1:9,9,9,9,9,9,9,9", "3:1,1", "x:1,1,1,1,1,1,1,1"}));
    const auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
        return model.index(row, column).data(role);
    };
    for (const int station : {1, 2}) {
        table.OnLineEvent(StationRead(station, LineRequest::ReadCounters, true));
        table.OnLineEvent(StationRead(station, LineRequest::ReadInputs, true));
    }
    EXPECT_EQ(cell(0, StationsModel::ColCounter1).toString(), "300.0") << "the main window's";
    EXPECT_EQ(cell(1, StationsModel::ColCounter1).toString(), "50.0");
    EXPECT_EQ(cell(2, StationsModel::ColCounter1).toString(), "--") << "never read";
    EXPECT_EQ(cell(1, StationsModel::ColInputs).toString(), "-------1");
    EXPECT_EQ(model.MultipliersOf(3)[1], 1.0) << "a malformed entry is no station's";

    // A failed input read gives up the output read after it; the counters stand.
    table.OnLineEvent(StationRead(2, LineRequest::ReadInputs, false));
    EXPECT_TRUE(cell(1, StationsModel::ColCounter1, StationsModel::ConfirmedRole).toBool());
    EXPECT_FALSE(cell(1, StationsModel::ColInputs, StationsModel::ConfirmedRole).toBool());
    EXPECT_FALSE(cell(1, StationsModel::ColOutputs, StationsModel::ConfirmedRole).toBool());
    EXPECT_EQ(cell(1, StationsModel::ColFailed).toString(), "1");
    EXPECT_EQ(cell(1, StationsModel::ColInputs).toString(), "-------1") << "kept, grey";

    std::array<double, 8> parsed{};
    EXPECT_EQ(ParseMultipliers("1,2,3,4,5,6,7", parsed),
              "give eight multipliers, separated by commas");
    EXPECT_EQ(ParseMultipliers("1,2,3,4,5,6,7,20000", parsed),
              "multiplier 8 (20000) is not a number from -10000 to 10000");
    EXPECT_EQ(FormatStationMultipliers(model.OwnMultipliers()).at(1),
              "2:0.5,1.0,1.0,1.0,1.0,1.0,1.0,1.0");
}

}  // namespace
}  // namespace tally
