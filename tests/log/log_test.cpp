#include <gtest/gtest.h>

#include <QLocale>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include "log/counter_rates.h"
#include "log/csv.h"
#include "log/log_session.h"
#include "log/log_time.h"

namespace tally {
namespace {

namespace fs = std::filesystem;
using Values = CounterRates::Values;

constexpr std::int64_t kSecond = 1'000'000;

TEST(CounterRate, CountsPerSecondAcrossTheWrapButNotAcrossGapsOrSteppingBack) {
    struct Case {
        const char* name;
        double previous;
        double now;
        std::int64_t micros;  // after the previous reading
        int interval;
        std::optional<double> rate;
    };
    const Case cases[] = {
        {"steady", 100, 160, 2 * kSecond, 1, 30.0},
        {"wrap", 4294967290.0, 4, 1 * kSecond, 1, 10.0},
        {"wrap to zero", 4294967295.0, 0, kSecond / 2, 1, 2.0},
        {"three intervals", 0, 30, 3 * kSecond, 1, 10.0},
        {"more than three intervals", 0, 30, 3 * kSecond + 1, 1, std::nullopt},
        {"single reads", 0, 30, kSecond, 0, std::nullopt},
        {"stepped back", 1000, 5, kSecond, 1, std::nullopt},
        {"no time passed", 1, 2, 0, 1, std::nullopt},
        {"not a counter value", 1.5, 2, kSecond, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        CounterRates rates;
        Values first{};
        first[3] = c.previous;
        EXPECT_EQ(rates.Take(first, 5 * kSecond, c.interval)[3], std::nullopt) << c.name;
        Values second{};
        second[3] = c.now;
        EXPECT_EQ(rates.Take(second, 5 * kSecond + c.micros, c.interval)[3], c.rate) << c.name;
    }
}

TEST(LogText, TimesAndQuoting) {
    const double noon = 45000.5;  // 2023-03-15 12:00 local
    EXPECT_EQ(FormatLogTime(noon, 3600), "2023-03-15T12:00:00.000+01:00");
    EXPECT_EQ(FormatLogTime(noon + 0.123 / 86400, -19800), "2023-03-15T12:00:00.123-05:30");
    EXPECT_EQ(FormatLogTime(45000 + 86399.9996 / 86400, 0), "2023-03-16T00:00:00.000+00:00");
    EXPECT_EQ(FormatLogTime(0.0, 0), "1899-12-30T00:00:00.000+00:00");
    EXPECT_EQ(FormatLogTime(45351.75, 0), "2024-02-29T18:00:00.000+00:00");
    EXPECT_EQ(CsvLine({"a,b", "say \"hi\"", "x", "two\r\nlines"}),
              "\"a,b\",\"say \"\"hi\"\"\",x,\"two\r\nlines\"\r\n");
}

// A German-looking locale everywhere a formatter could pick one up.
struct CommaLocale {
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    CommaLocale() : before(std::locale::global(std::locale(std::locale::classic(), new Comma))) {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
            if (std::setlocale(LC_ALL, name) != nullptr) break;
    }
    ~CommaLocale() {
        std::locale::global(before);
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }
    std::locale before;
};

class CounterLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tally-log-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "shift.csv").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    LineEvent event(LineEvent::Type type) {
        LineEvent e;
        e.type = type;
        e.protocol = Protocol::ModbusRtu;
        e.station = 7;
        e.stamp = 45000.5 + seconds / 86400.0;
        e.monoMicros = static_cast<std::int64_t>(seconds * kSecond);
        return e;
    }
    void signal(LineEvent::Type type) { events.Emit(event(type)); }
    void outcome(LineRequest request, OutcomeKind kind, const ReplyMeaning* meaning = nullptr) {
        LineEvent e = event(LineEvent::Type::Outcome);
        e.request = request;
        e.outcome = Outcome::Of(kind);
        if (meaning != nullptr) e.meaning = *meaning;
        events.Emit(e);
    }
    void counters(std::array<std::optional<double>, 8> values) {
        ReplyMeaning m;
        m.kind = ReplyMeaning::Kind::Counters;
        m.counters = values;
        outcome(LineRequest::ReadCounters, OutcomeKind::Success, &m);
    }
    void channels(LineRequest request, ReplyMeaning::Kind kind, std::int16_t first) {
        ReplyMeaning m;
        m.kind = kind;
        for (std::size_t i = 0; i < 8; ++i)
            m.channels[i] = static_cast<std::int16_t>(i == 0 ? first : i % 2);
        outcome(request, OutcomeKind::Success, &m);
    }

    std::string file() const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir;
    std::string path;
    double seconds = 0.0;
    LineEvents events;
    LogContext context;
    LogSession session{events, [this] { return context; },
                       [](double stamp) { return FormatLogTime(stamp, 3600); }};
};

TEST_F(CounterLogTest, RowsPerCycleWithEmptyCellsAndRatesAcrossTheWrapAndAfterAPreset) {
    const CommaLocale comma;
    context.intervalSeconds = 1;
    context.multipliers = {0.5, 2, 1, 1, 1, 1, 1, -1};
    ASSERT_EQ(session.Start(path), "");
    signal(LineEvent::Type::Opened);

    // A cycle of three reads, the last one lost.
    counters({4294967290.0, 100, 7, 0, 0, 0, std::nullopt, 3});
    seconds += 0.05;
    channels(LineRequest::ReadInputs, ReplyMeaning::Kind::Inputs, 1);
    outcome(LineRequest::ReadOutputs, OutcomeKind::TimeOut);
    signal(LineEvent::Type::CycleEnd);

    // One second later: counter 1 wrapped; the inputs answer with a bad checksum.
    seconds = 1.0;
    counters({10, 125, 7, 0, 0, 0, 5, 3});
    outcome(LineRequest::ReadInputs, OutcomeKind::ChecksumError);
    channels(LineRequest::ReadOutputs, ReplyMeaning::Kind::Outputs, 0);
    outcome(LineRequest::PresetCounters, OutcomeKind::Success);
    signal(LineEvent::Type::CycleEnd);

    // After the preset no rate reaches back; a cycle with no good read leaves no row.
    seconds = 2.0;
    counters({20, 130, 7, 0, 0, 0, 5, 3});
    signal(LineEvent::Type::CycleEnd);
    seconds = 3.0;
    outcome(LineRequest::ReadCounters, OutcomeKind::TimeOut);
    signal(LineEvent::Type::CycleEnd);
    EXPECT_EQ(session.StateText(), "Logging to " + path + ": 3 rows");
    session.Stop();
    EXPECT_EQ(session.StateText(), "Not logging");

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

TEST_F(CounterLogTest, AnotherHeaderIsRefusedTheSameOneAppendedTo) {
    EXPECT_EQ(LogColumns().size(), kLogColumnCount);
    { std::ofstream(path, std::ios::binary) << "time,value\r\n1,2\r\n"; }
    const std::string refused = session.Start(path);
    EXPECT_NE(refused.find("holds other columns"), std::string::npos) << refused;
    EXPECT_EQ(session.StateText(), "Not logging: " + refused);
    EXPECT_EQ(file(), "time,value\r\n1,2\r\n");

    // The same header, and a last row cut short by a crash: new rows start on a line of their own.
    { std::ofstream(path, std::ios::binary) << LogHeader() << "\r\n2023-03-15T11:59"; }
    ASSERT_EQ(session.Start(path), "");
    counters({1, 2, 3, 4, 5, 6, 7, 8});
    signal(LineEvent::Type::Closed);
    EXPECT_FALSE(session.Logging());
    EXPECT_EQ(session.StateText(), "Logging stopped after 1 rows: the port was closed");
    EXPECT_EQ(file().find(LogHeader() + "\r\n2023-03-15T11:59\r\n2023-03-15T12:00:00.000+01:00,"),
              0u)
        << file();
}

TEST_F(CounterLogTest, AFailedWriteStopsLoggingWithTheReason) {
    std::string failure;
    session.onChanged = [&] {
        if (session.WriteFailed()) failure = session.StateText();
    };
    // A full disk: the file opens, the first row cannot be written.
    ASSERT_EQ(session.Start("/dev/full"), "");
    counters({1, 2, 3, 4, 5, 6, 7, 8});
    signal(LineEvent::Type::CycleEnd);
    EXPECT_FALSE(session.Logging());
    EXPECT_EQ(failure, "Logging stopped after 0 rows: /dev/full: No space left on device");

    // The folder removed in the middle of a run.
    failure.clear();
    ASSERT_EQ(session.Start(path), "");
    counters({1, 2, 3, 4, 5, 6, 7, 8});
    signal(LineEvent::Type::CycleEnd);
    fs::remove_all(dir);
    counters({1, 2, 3, 4, 5, 6, 7, 8});
    signal(LineEvent::Type::CycleEnd);
    EXPECT_EQ(failure, "Logging stopped after 1 rows: " + path + ": No such file or directory");
    counters({1, 2, 3, 4, 5, 6, 7, 8});
    signal(LineEvent::Type::CycleEnd);
    EXPECT_EQ(session.Rows(), 1);
}

}  // namespace
}  // namespace tally
