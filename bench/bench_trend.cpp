// What the trend chart costs: eight hours of counter reads at one a second fed
// through the chart's model, once with the chart closed and once with it open
// on "8 h" (offscreen, redrawn and painted as often as its timer would), then a
// second eight hours to show the memory stays put once the ring is full.
//
// Reports the CPU time per second of data as a share of one core, and how much
// the resident memory grew. Usage: bench_trend [hours [span]] (default 8 "8 h").
#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "ui/models/trend_model.h"
#include "ui/models/trend_plot.h"
#include "ui/windows/frm_trend.h"

namespace tally {
namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double residentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0.0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0.0;
}

// A counter read as the engine reports it: eight counters rising at different
// speeds, one failed read in a hundred, across the 2^32 wrap on channel 8.
class Feed {
  public:
    LineEvent Next() {
        ++second_;
        LineEvent event;
        event.type = LineEvent::Type::Outcome;
        event.request = LineRequest::ReadCounters;
        event.station = 1;
        event.monoMicros = 1'000'000'000 + second_ * 1'000'000;
        event.utcMs = 1'678'867'200'000 + (8 * 3600 + static_cast<std::int64_t>(second_)) * 1000;
        if (second_ % 100 == 37) {
            event.outcome = Outcome::Of(OutcomeKind::TimeOut);
            return event;
        }
        ReplyMeaning meaning;
        meaning.kind = ReplyMeaning::Kind::Counters;
        for (std::size_t k = 0; k < 8; ++k) {
            const double value = static_cast<double>(
                (4'294'000'000ULL * (k == 7) +
                 static_cast<unsigned long long>(second_) * (k + 1) * (3 + second_ % 5)) %
                4'294'967'296ULL);
            meaning.counters[k] = value;
        }
        event.meaning = meaning;
        return event;
    }
    std::int64_t Second() const { return second_; }

  private:
    std::int64_t second_ = 0;
};

TrendModel::Context context() {
    return {[](int channel) { return 0.5 * channel; }, [] { return 1; }};
}

struct Figures {
    double cpuPerDataSecond = 0.0;  // seconds of CPU per second of data
    double growthMb = 0.0;          // after the first run of hours
    double growthAfterTwiceMb = 0.0;
    double windowMb = 0.0;  // the open window itself, before any reading
};

Figures run(int hours, bool chartOpen, int span) {
    const std::int64_t seconds = static_cast<std::int64_t>(hours) * 3600;
    const double rssStart = residentMegabytes();
    Figures figures;
    auto model = std::make_unique<TrendModel>(context());
    std::unique_ptr<FrmTrend> window;
    if (chartOpen) {
        window = std::make_unique<FrmTrend>(*model);
        window->resize(900, 520);
        window->cmbTrendSpan->setCurrentIndex(span);
        window->show();
        QCoreApplication::processEvents();
    }
    // The window's own cost (fonts, scene, backing store) is paid once when it
    // opens; the growth is what the readings add on top.
    const double rssBefore = residentMegabytes();
    figures.windowMb = rssBefore - rssStart;
    Feed feed;
    double cpu = 0.0;
    std::int64_t nextRefreshMs = 0;
    for (int pass = 0; pass < 2; ++pass) {
        const double start = cpuSeconds();
        for (std::int64_t s = 0; s < seconds; ++s) {
            model->OnLineEvent(feed.Next());
            if (!window) continue;
            const std::int64_t nowMs = feed.Second() * 1000;
            if (nowMs < nextRefreshMs) continue;
            // What the window's timer does at its period: redraw, then paint.
            window->Refresh();
            QCoreApplication::processEvents();
            const int plotWidth = static_cast<int>(window->chartView->chart()->plotArea().width());
            nextRefreshMs =
                nowMs +
                RefreshMillis(kTrendSpans[static_cast<std::size_t>(span)].seconds * 1'000'000LL,
                              plotWidth);
        }
        const double used = cpuSeconds() - start;
        if (pass == 0) {
            cpu = used;
            figures.growthMb = residentMegabytes() - rssBefore;
        } else {
            figures.growthAfterTwiceMb = residentMegabytes() - rssBefore;
        }
    }
    figures.cpuPerDataSecond = cpu / static_cast<double>(seconds);
    return figures;
}

}  // namespace
}  // namespace tally

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int hours = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    int span = static_cast<int>(tally::kTrendSpans.size()) - 1;  // "8 h"
    for (std::size_t i = 0; argc > 2 && i < tally::kTrendSpans.size(); ++i)
        if (std::strcmp(argv[2], tally::kTrendSpans[i].text) == 0) span = static_cast<int>(i);

    const tally::Figures closed = tally::run(hours, false, span);
    const tally::Figures open = tally::run(hours, true, span);
    auto report = [hours](const char* what, const tally::Figures& f) {
        std::printf(
            "%s: %.1f us of CPU per second of data (%.4f %% of one core); memory +%.1f MB "
            "after %d h, +%.1f MB after %d h\n",
            what, f.cpuPerDataSecond * 1e6, f.cpuPerDataSecond * 100.0, f.growthMb, hours,
            f.growthAfterTwiceMb, 2 * hours);
    };
    report("chart closed (model only)", closed);
    const std::string what = std::string("chart open on \"") +
                             tally::kTrendSpans[static_cast<std::size_t>(span)].text + "\"";
    report(what.c_str(), open);
    std::printf("the open window itself, before any reading: %.1f MB\n", open.windowMb);
    std::printf("difference open - closed: %.4f %% of one core\n",
                (open.cpuPerDataSecond - closed.cpuPerDataSecond) * 100.0);
    return 0;
}
