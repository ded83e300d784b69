// The real window, offscreen, on the real serial port, clock and timers, against
// vl4300-sim linked as port 1 in a folder: how long a poll cycle takes against the
// wire time of its bytes, told by the engine's line events. Driven by
// bench/line_bench.sh (which measures CPU through tallyscope-bench-window-driver.so).
//
//   tallyscope-line-bench cycles DIR PROTOCOL COUNT [BAUD]
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/window/frm_main.h"
#include "app/window/system_environment.h"

namespace {

using tally::FrmMain;

// Runs the event loop for the given time without spinning.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until the condition holds, checking it every millisecond.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs) return false;
        RunFor(1);
    }
    return true;
}

bool OpenPort(FrmMain& w, int protocol, const QString& baud) {
    w.optProtocol[static_cast<std::size_t>(protocol)]->setChecked(true);
    w.cmbCOMM->setEditText(QStringLiteral("1"));
    w.cmbBaud->setCurrentText(baud);
    w.cmbStation->setEditText(QStringLiteral("1"));
    w.cmdCOMM->click();
    if (w.labReport->text() == QLatin1String("On Line")) return true;
    std::fprintf(stderr, "cannot open port 1: %s\n", qPrintable(w.labReport->toolTip()));
    return false;
}

}  // namespace

// Each poll cycle from its first request written to its end, and the characters
// that crossed the line meanwhile, told by the engine's line events.
class CycleTimes : public tally::LineListener {
  public:
    struct Cycle {
        double ms;
        std::size_t sent;      // characters of the requests
        std::size_t received;  // characters of the answers
        bool allGood;
    };
    void OnLineEvent(const tally::LineEvent& event) override {
        using Type = tally::LineEvent::Type;
        switch (event.type) {
            case Type::Request:
                if (startMicros_ < 0) startMicros_ = event.monoMicros;
                sent_ += event.bytes.size();
                break;
            case Type::Outcome:
                received_ += event.bytes.size();
                allGood_ = allGood_ && tally::OutcomeApplies(event.outcome);
                break;
            case Type::CycleEnd:
                if (startMicros_ >= 0)
                    cycles.push_back(
                        {(event.monoMicros - startMicros_) / 1000.0, sent_, received_, allGood_});
                startMicros_ = -1;
                sent_ = received_ = 0;
                allGood_ = true;
                break;
            default:
                break;
        }
    }
    std::vector<Cycle> cycles;

  private:
    std::int64_t startMicros_ = -1;
    std::size_t sent_ = 0;
    std::size_t received_ = 0;
    bool allGood_ = true;
};

// Single DC+DI+DO cycles one after the other; prints one row of the README table.
int MeasureCycles(FrmMain& w, int protocol, int count, int baud) {
    static const char* const kNames[] = {"Korvi", "Modbus Ascii", "Modbus RTU"};
    if (!OpenPort(w, protocol, QString::number(baud))) return 1;
    CycleTimes times;
    w.engine().Events().Add(&times);
    w.chkDC->setChecked(true);
    w.chkDI->setChecked(true);
    w.chkDO->setChecked(true);
    w.txtAutoRead->setText(QStringLiteral("0"));
    for (int i = 0; i < count; ++i) {
        const std::size_t before = times.cycles.size();
        w.chkRead->setChecked(true);
        if (!WaitUntil([&] { return times.cycles.size() > before && !w.chkRead->isChecked(); },
                       5000)) {
            std::fprintf(stderr, "cycle %d did not end: %s, PollStep %d, read %d\n", i + 1,
                         qPrintable(w.labReport->text() + " " + w.labReport->toolTip()), w.PollStep,
                         int(w.chkRead->isChecked()));
            return 1;
        }
    }
    w.engine().Events().Remove(&times);
    std::vector<double> ms;
    int failed = 0;
    for (const auto& cycle : times.cycles) {
        ms.push_back(cycle.ms);
        failed += cycle.allGood ? 0 : 1;
    }
    std::sort(ms.begin(), ms.end());
    const auto wireMs = [baud](std::size_t characters) { return characters * 10 * 1000.0 / baud; };
    const CycleTimes::Cycle& first = times.cycles.front();
    std::printf("| %s | %d | %.0f + %.0f = %.0f | %.0f | %.0f–%.0f | %zu%s |\n",
                kNames[protocol % 3], baud, wireMs(first.sent), wireMs(first.received),
                wireMs(first.sent + first.received), ms[ms.size() / 2], ms.front(), ms.back(),
                ms.size(), failed ? " (some failed)" : "");
    return failed ? 1 : 0;
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 5 || args.at(1) != QLatin1String("cycles")) {
        std::fprintf(stderr, "usage: %s cycles DIR PROTOCOL COUNT [BAUD]\n", argv[0]);
        return 2;
    }
    tally::PortEnvironment ports;
    ports.appDir = args.at(2).toStdString();
    tally::SystemEnvironment system(ports, ports.appDir);
    FrmMain w(system.env());
    w.Form_Load();
    w.show();
    const int result = MeasureCycles(w, args.at(3).toInt(), args.at(4).toInt(),
                                     args.size() > 5 ? args.at(5).toInt() : 19200);
    // As when the program ends: the window closes before it is destroyed.
    w.close();
    return result;
}
