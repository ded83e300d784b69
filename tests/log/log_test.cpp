#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>
#include <QLocale>
#include <QTemporaryDir>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <locale>

#include "log/csv.h"
#include "log/log_file.h"
#include "log/log_row.h"
#include "log/log_session.h"
#include "log/log_time.h"

namespace tally {
namespace {

using Values = CounterRates::Values;
constexpr std::int64_t kSecond = 1'000'000;

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CounterRate, CountsPerSecondAcrossTheWrapButNotAcrossGapsOrSteppingBack) {
    // previous reading, this one, seconds between them, poll interval, rate
    const std::tuple<double, double, double, int, std::optional<double>> cases[] = {
        {100, 160, 2, 1, 30.0},
        {0, 30, 3, 1, 10.0},  // three intervals
        {0, 30, 3.000001, 1, std::nullopt},
        {1000, 5, 1, 1, std::nullopt},  // went back: cleared elsewhere
    };
    for (const auto& [previous, now, seconds, interval, rate] : cases) {
        CounterRates rates;
        Values reading{};
        reading[3] = previous;
        EXPECT_EQ(rates.Take(reading, 5 * kSecond, interval)[3], std::nullopt);
        reading[3] = now;
        const auto micros = 5 * kSecond + static_cast<std::int64_t>(seconds * kSecond);
        EXPECT_EQ(rates.Take(reading, micros, interval)[3], rate) << previous << " " << now;
    }
}

TEST(LogText, TimesAndQuoting) {
    const std::int64_t noonUtc = 1'678'881'600'000;  // 2023-03-15 12:00 UTC
    EXPECT_EQ(FormatLogTime(LocalTimeAt(noonUtc, 3600)), "2023-03-15T13:00:00.000+01:00");
    EXPECT_EQ(FormatLogTime(LocalTimeAt(noonUtc + 123, -19800)), "2023-03-15T06:30:00.123-05:30");
    EXPECT_EQ(FormatLogTime(LocalTimeAt(noonUtc + 12 * 3'600'000 - 1, 0)),
              "2023-03-15T23:59:59.999+00:00");
    EXPECT_EQ(CsvLine({"a,b", "say \"hi\"", "x", "two\r\nlines"}),
              "\"a,b\",\"say \"\"hi\"\"\",x,\"two\r\nlines\"\r\n");
    // The system's zone: each instant's own offset, across the autumn hour and spring gap.
    const char* oldZone = std::getenv("TZ");
    const std::string restore = oldZone ? oldZone : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const std::pair<std::int64_t, const char*> berlin[] = {
        {1'792'889'992'000, "2026-10-25T02:59:52.000+02:00"},
        {1'792'893'592'000, "2026-10-25T02:59:52.000+01:00"},
        {1'774'745'999'999, "2026-03-29T01:59:59.999+01:00"},
        {1'774'746'000'000, "2026-03-29T03:00:00.000+02:00"}};
    for (const auto& [utcMs, text] : berlin)
        EXPECT_EQ(FormatLocalLogTime(utcMs), text);
    oldZone ? setenv("TZ", restore.c_str(), 1) : unsetenv("TZ");
    tzset();
}

struct DecimalComma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

class CounterLogTest : public ::testing::Test {
  protected:
    void send(LineEvent::Type type, LineRequest request = {}, OutcomeKind kind = {},
              std::optional<ReplyMeaning> meaning = std::nullopt) {
        LineEvent e;
        e.type = type;
        e.request = request;
        e.outcome = Outcome::Of(kind);
        e.protocol = Protocol::ModbusRtu;
        e.station = station;
        e.utcMs = 1'678'878'000'000 + static_cast<std::int64_t>(seconds * 1000);  // 11:00 UTC
        e.monoMicros = static_cast<std::int64_t>(seconds * kSecond);
        e.meaning = meaning;
        events.Emit(e);
    }
    void outcome(LineRequest request, OutcomeKind kind) {
        send(LineEvent::Type::Outcome, request, kind);
    }
    // A good read: counters as given; inputs or outputs `first`,1,0,1,0,1,0,1.
    void read(LineRequest request, Values counters = {}, std::int16_t first = 0) {
        ReplyMeaning m;
        m.kind = request == LineRequest::ReadCounters ? ReplyMeaning::Kind::Counters
                 : request == LineRequest::ReadInputs ? ReplyMeaning::Kind::Inputs
                                                      : ReplyMeaning::Kind::Outputs;
        m.counters = counters;
        for (std::size_t i = 0; i < 8; ++i)
            m.channels[i] = static_cast<std::int16_t>(i == 0 ? first : i % 2);
        send(LineEvent::Type::Outcome, request, OutcomeKind::Success, m);
    }
    // A cycle `at` seconds in whose counter read gave 1 to 8.
    void cycle(double at) {
        seconds = at;
        read(LineRequest::ReadCounters, {1, 2, 3, 4, 5, 6, 7, 8});
        send(LineEvent::Type::CycleEnd);
    }
    std::string file() const { return FileText(path); }

    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("shift.csv")).toStdString();
    double seconds = 0.0;
    int station = 7;
    LineEvents events;
    LogContext context;
    LogSession session{events, [this] { return context; },
                       [](std::int64_t utcMs) { return FormatLogTime(LocalTimeAt(utcMs, 3600)); }};
};

TEST_F(CounterLogTest, RowsPerCycleWithEmptyCellsAndRatesAcrossTheWrapAndAfterAPreset) {
    // A decimal comma wherever a number formatter could pick one up.
    const auto before = std::locale::global(std::locale(std::locale(), new DecimalComma));
    QLocale::setDefault(QLocale(QLocale::German));
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // where it is installed
    context.intervalSeconds = 1;
    context.multipliers = {0.5, 2, 1, 1, 1, 1, 1, -1};
    ASSERT_EQ(session.Start(path), "");
    send(LineEvent::Type::Opened);

    // A cycle of three reads, the last one lost.
    read(LineRequest::ReadCounters, {4294967290.0, 100, 7, 0, 0, 0, std::nullopt, 3});
    read(LineRequest::ReadInputs, {}, 1);
    outcome(LineRequest::ReadOutputs, OutcomeKind::TimeOut);
    send(LineEvent::Type::CycleEnd);

    // One second later: counter 1 wrapped; the inputs answer with a bad checksum.
    seconds = 1.0;
    read(LineRequest::ReadCounters, {10, 125, 7, 0, 0, 0, 5, 3});
    outcome(LineRequest::ReadInputs, OutcomeKind::ChecksumError);
    read(LineRequest::ReadOutputs);
    outcome(LineRequest::PresetCounters, OutcomeKind::Success);
    send(LineEvent::Type::CycleEnd);

    // After the preset no rate reaches back; a cycle with no good read leaves no row.
    seconds = 2.0;
    read(LineRequest::ReadCounters, {20, 130, 7, 0, 0, 0, 5, 3});
    send(LineEvent::Type::CycleEnd);
    outcome(LineRequest::ReadCounters, OutcomeKind::TimeOut);
    send(LineEvent::Type::CycleEnd);
    EXPECT_EQ(session.StateText(), "Logging to " + path + ": 3 rows");
    session.Stop();
    EXPECT_EQ(session.StateText(), "Not logging");
    std::locale::global(before);
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");

    const std::string empty8 = ",,,,,,,,";
    EXPECT_EQ(file(), LogHeader() + "\r\n" +
                          "2023-03-15T12:00:00.000+01:00,7,modbus-rtu,"
                          "4294967290,100,7,0,0,0,,3,2147483645.0,200.0,7.0,0.0,0.0,0.0,,-3.0" +
                          empty8 + ",1,1,0,1,0,1,0,1" + empty8 + "\r\n" +
                          "2023-03-15T12:00:01.000+01:00,7,modbus-rtu,"
                          "10,125,7,0,0,0,5,3,5.0,250.0,7.0,0.0,0.0,0.0,5.0,-3.0,"
                          "16.0,25.0,0.0,0.0,0.0,0.0,,0.0" +
                          empty8 + ",0,1,0,1,0,1,0,1\r\n" +
                          "2023-03-15T12:00:02.000+01:00,7,modbus-rtu,"
                          "20,130,7,0,0,0,5,3,10.0,260.0,7.0,0.0,0.0,0.0,5.0,-3.0" +
                          empty8 + empty8 + empty8 + "\r\n");
}

TEST_F(CounterLogTest, StationsSharingALineKeepTheirOwnRatesMultipliersAndReadings) {
    context.intervalSeconds = 1;
    context.stationMultipliers[2] = {10, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(session.Start(path), "");
    send(LineEvent::Type::Opened);
    const auto cycle = [&](int at, double first, double second) {
        seconds = at;
        station = 1;
        read(LineRequest::ReadCounters, {first});
        send(LineEvent::Type::CycleEnd);
        station = 2;
        read(LineRequest::ReadCounters, {second});
        send(LineEvent::Type::CycleEnd);
    };
    cycle(0, 100, 5000);
    station = 2;
    outcome(LineRequest::ClearCounters, OutcomeKind::Success);  // forgets station 2 only
    cycle(1, 110, 0);
    station = 1;
    outcome(LineRequest::ReadCounters, OutcomeKind::TimeOut);  // station 1 fails, 2 answers
    send(LineEvent::Type::CycleEnd);
    station = 2;
    seconds = 2;
    read(LineRequest::ReadCounters, {7});
    send(LineEvent::Type::CycleEnd);
    cycle(3, 140, 8);
    session.Stop();

    // station:raw x scaled r rate of counter 1 in each row after the header. The clear
    // forgets station 2's previous value; station 1's rate spans its failed read.
    const QStringList rows = QString::fromStdString(file()).split("\r\n").mid(1, 7);
    QStringList shown;
    for (const QString& row : rows)
        shown << row.section(',', 1, 1) + ":" + row.section(',', 3, 3) + "x" +
                     row.section(',', 11, 11) + "r" + row.section(',', 19, 19);
    EXPECT_EQ(shown.join(' '),
              "1:100x100.0r 2:5000x50000.0r 1:110x110.0r10.0 2:0x0.0r 2:7x70.0r7.0 "
              "1:140x140.0r15.0 2:8x80.0r1.0");
    EXPECT_EQ(QString::fromStdString(file()).count('\n'), 8);
}

TEST_F(CounterLogTest, AFileOfOtherColumnsIsLeftAloneOneOfThisLogIsAppendedToOnALineOfItsOwn) {
    // Another header, this one's with fewer, more or renamed columns, or others' rows.
    const std::string header = LogHeader(), forty3 = std::string(42, ',') + "\r\n";
    const std::string row = "2023-03-15T11:59:59.000+01:00,7,modbus-rtu,1,2,3,4,5,6,7,8" +
                            std::string(32, ',') + "\r\n";
    for (const std::string& other :
         {std::string("time,value\r\n1,2\r\n"), header.substr(0, header.rfind(',')) + "\r\n",
          header + ",note\r\n", header.substr(0, header.rfind(',') + 1) + "renamed\r\n",
          "x" + forty3, row.substr(0, row.size() - 3) + "\r\n",
          row.substr(0, row.size() - 2) + ",\r\n",
          "2023-03-15T11:59:59.000+01:00,7,sometimes" + forty3.substr(2)}) {
        std::ofstream(path, std::ios::binary) << other;
        const std::string refused = session.Start(path);
        EXPECT_NE(refused.find("holds other columns"), std::string::npos) << other;
        EXPECT_EQ(session.StateText(), "Not logging: " + refused);
        EXPECT_EQ(file(), other);
    }
    // Its header, or rows that lost it, and a last row cut short by a crash.
    for (const std::string& start :
         {header + "\r\n" + row.substr(0, 20), row + row.substr(0, 20)}) {
        std::ofstream(path, std::ios::binary) << start;
        ASSERT_EQ(session.Start(path), "");
        cycle(0);
        session.Stop();
        EXPECT_EQ(file().rfind(start + "\r\n2023-03-15T12:00:00.000+01:00,7,", 0), 0u) << file();
    }
}

// As copytruncate empties it, then cut inside a row (deleted: the program's
// log-failure run).
TEST_F(CounterLogTest, AFileEmptiedOrCutUnderTheLogKeepsRowsWholeAndClosingThePortStopsIt) {
    session.SetRotatable(true);
    ASSERT_EQ(session.Start(path), "");
    cycle(0);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    cycle(1);
    EXPECT_EQ(file().rfind(LogHeader() + "\r\n2023-03-15T12:00:01.000+01:00,", 0), 0u) << file();
    const std::string whole = file();
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(whole.size() - 20)), 0);
    cycle(2);
    EXPECT_EQ(file().rfind(whole.substr(0, whole.size() - 20) + "\r\n2023-03-15T12:00:02.000", 0),
              0u)
        << file();
    // Closing the port ends logging too.
    ASSERT_EQ(session.Start("/dev/null"), "");
    send(LineEvent::Type::Closed);
    EXPECT_EQ(session.StateText(), "Logging stopped after 0 rows: the port was closed");
}

// The file size limit stands in for a full disk.
TEST(LogFileWrite, ARowThatFitsOnlyInPartIsCutBackToTheLastWholeRow) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("cut.csv")).toStdString();
    LogFile log;
    ASSERT_EQ(log.Open(path), "");
    const std::string row = "2023-03-15T12:00:00.000+01:00,7,korvi,1,2,3,4,5,6,7,8\r\n";
    ASSERT_TRUE(log.Write(row));
    const std::string whole = LogHeader() + "\r\n" + row;

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = whole.size() + row.size() / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = log.Write(row);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_NE(log.Error().find("File too large"), std::string::npos) << log.Error();
    EXPECT_EQ(FileText(path), whole);
}

}  // namespace
}  // namespace tally
