// Find Module against vl4300-sim in real time: the whole search on a line where
// nothing answers, and how long it takes to find a module at 19200 and at 9600.
//
// Usage: bench_module_search [extra wait ms]   (make bench-search)
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "engine/module_search.h"
#include "engine/poll_engine.h"
#include "engine/qt_timer.h"
#include "engine/search_port.h"
#include "engine/system_clock.h"
#include "off_line_host.h"
#include "serial/posix_serial_port.h"

namespace {

using namespace tally;

// Elapsed time at the end of each rate's block of probes.
class BlockTimes : public LineListener {
  public:
    explicit BlockTimes(const ModuleSearch& search) : search_(search) {}
    void OnLineEvent(const LineEvent& event) override {
        if (event.type != LineEvent::Type::Request) return;
        const Probe* probe = search_.Current();
        if (probe == nullptr || probe->baud == lastBaud_) return;
        if (lastBaud_ != 0) ends.push_back({lastBaud_, search_.ElapsedMicros()});
        lastBaud_ = probe->baud;
    }
    std::vector<std::pair<int, std::int64_t>> ends;

  private:
    const ModuleSearch& search_;
    int lastBaud_ = 0;
};

struct Run {
    double seconds = 0;
    int probes = 0;
    std::vector<FoundModule> found;
    std::vector<std::pair<int, std::int64_t>> blockEnds;
    qint64 requests = 0;
    qint64 writes = 0;
};

bool RunSearch(const QStringList& simArgs, int extraWaitMs, Run& run) {
    QTemporaryDir dir;
    QProcess sim;
    const QString stats = dir.filePath(QStringLiteral("stats.json"));
    sim.start(QStringLiteral(VL4300_SIM_PATH),
              QStringList{"--dir", dir.path(), "--port", "1", "--stats", stats} + simArgs);
    if (!sim.waitForStarted(5000)) return false;
    const QDeadlineTimer ready(5000);
    while (!sim.canReadLine() && !ready.hasExpired())
        sim.waitForReadyRead(100);

    PortEnvironment ports;
    ports.appDir = dir.path().toStdString();
    PosixSerialPort serial(ports);
    SystemClock clock;
    QtTimerFactory timers;
    MainState state;
    testing::OffLineHost host;  // the search runs while the window is off line
    auto tmrRead = timers.Create(40);
    auto tmrNow = timers.Create(995);
    auto tmrProbe = timers.Create(1);
    PollEngine engine(state, serial, clock, *tmrRead, *tmrNow, host);
    engine.SetProbeTimer(*tmrProbe);
    serial.onBytesArrived = [&engine] { engine.BytesArrived(); };
    SearchPort port(serial, engine);
    port.SetCommPort(1);
    ModuleSearch search(port, clock);
    BlockTimes blocks(search);
    engine.Events().Add(&search);
    engine.Events().Add(&blocks);

    QEventLoop loop;
    search.onChange = [&] {
        if (!search.Running()) loop.quit();
    };
    SearchChoices choices;
    choices.extraWaitMs = extraWaitMs;
    if (!search.Start(choices)) return false;
    if (search.Running()) loop.exec();

    run.seconds = static_cast<double>(search.ElapsedMicros()) / 1e6;
    run.probes = search.Done();
    run.found = search.Found();
    run.blockEnds = blocks.ends;
    if (!search.Failure().empty()) std::printf("  failed: %s\n", search.Failure().c_str());
    sim.terminate();
    sim.waitForFinished(5000);
    QFile file(stats);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonObject counts = QJsonDocument::fromJson(file.readAll()).object();
        run.requests = counts.value(QStringLiteral("requests")).toVariant().toLongLong();
        run.writes = counts.value(QStringLiteral("writes")).toVariant().toLongLong();
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int extraWaitMs = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 50;
    std::printf("Find Module, every box ticked, extra wait %d ms, from 19200 baud and Korvi\n\n",
                extraWaitMs);

    struct Case {
        const char* name;
        QStringList args;
    } cases[] = {
        {"no module (every answer dropped)", {"--drop", "1"}},
        {"module at 19200, station 31", {"--baud", "19200", "--station", "31"}},
        {"module at 9600, station 31", {"--baud", "9600", "--station", "31"}},
    };
    int status = 0;
    for (const Case& c : cases) {
        Run run;
        if (!RunSearch(c.args, extraWaitMs, run)) {
            std::printf("%s: could not run\n", c.name);
            status = 1;
            continue;
        }
        std::printf("%s: %.2f s, %d probes, %lld requests seen, %lld writes\n", c.name, run.seconds,
                    run.probes, static_cast<long long>(run.requests),
                    static_cast<long long>(run.writes));
        for (const FoundModule& m : run.found)
            std::printf("  found %s (reply %.1f ms)\n",
                        ProbeDescription(m.baud, m.protocol, m.station).c_str(), m.replyMs);
        for (const auto& [baud, micros] : run.blockEnds)
            std::printf("  %6d baud block done at %6.2f s\n", baud,
                        static_cast<double>(micros) / 1e6);
    }
    return status;
}
