// Loaded into an unmodified tallyscope binary (LD_PRELOAD) by bench/line_bench.sh:
// works the window as an operator would, through the controls' names only, and
// measures what polling costs. Any build of the program can be measured this way,
// so two builds run side by side under the same driver and the same load.
//
// TALLY_BENCH (blank-separated):
//   cpu PROTOCOL VIEW SETTLE_S SECONDS   PROTOCOL 0-2, or -1 for the idle window off
//                                         line; VIEW: window, line (the line monitor
//                                         open), trend (the trend chart on "10 min")
//                                         or stations (the Stations view listing
//                                         station 1, the line's load unchanged)
//   cycles PROTOCOL COUNT [LIST]          single DC+DI+DO cycles, one after the other;
//                                         with LIST, the Stations view open on it
// It prints one line to stdout and ends the program:
//   cpu: "cpu <CPU seconds> <wall seconds> <wake-ups> <of the CPU, in the kernel>"
//   cycles: "cycles <median ms> <lowest ms> <highest ms> <count>"
// With TALLY_BENCH_EVENTS set, cpu also lists on stderr which objects received
// which events (by type number) while measuring, and how many: where the time goes.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// Under valgrind --tool=callgrind --instr-atstart=no, only the measured time is
// counted (instructions per cycle, free of the machine's load).
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

double seconds(const timeval& t) {
    return t.tv_sec + t.tv_usec / 1e6;
}

// The time the scheduler ran the program's threads, to the nanosecond: getrusage
// samples at the timer tick, too coarse for a program that runs a few ms a second.
double cpuSeconds() {
    double total = 0.0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        total += stat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    if (total > 0.0) return total;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double systemSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_stime);
}

// Voluntary context switches: how often the program went to sleep and woke again.
long wakeUps() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "bench driver: %s\n", why);
    std::fflush(stderr);
    std::_Exit(3);
}

template <typename T>
T* control(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QLatin1String(name));
    if (found == nullptr) fail(name);
    return found;
}

QWidget* topLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name)) return w;
    return nullptr;
}

void finish(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    // The program shuts down as it does at the end of a session.
    QCoreApplication::quit();
}

// Counts events by type and receiver while it is installed.
class EventCount : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        {
            QString name = QString::fromLatin1(watched->metaObject()->className());
            if (!watched->objectName().isEmpty()) name += QLatin1Char(' ') + watched->objectName();
            ++counts_[QStringLiteral("%1 %2").arg(int(type), 3).arg(name)];
        }
        return false;
    }
    void print(double seconds) const {
        std::vector<std::pair<int, QString>> rows;
        for (auto it = counts_.cbegin(); it != counts_.cend(); ++it)
            rows.emplace_back(it.value(), it.key());
        std::sort(rows.rbegin(), rows.rend());
        std::fprintf(stderr, "per second  event-type receiver\n");
        for (const auto& [count, name] : rows)
            std::fprintf(stderr, "%10.1f  %s\n", count / seconds, qPrintable(name));
    }

  private:
    QHash<QString, int> counts_;
};

class Driver {
  public:
    explicit Driver(QStringList args) : args_(std::move(args)) {}

    void start() {
        main_ = topLevel("FrmMain");
        // Start-up may let events run before the window is shown: wait for it.
        if (main_ == nullptr || !main_->isVisible()) {
            QTimer::singleShot(50, [this] { start(); });
            return;
        }
        if (args_.value(0) == QLatin1String("cpu")) {
            startCpu();
        } else if (args_.value(0) == QLatin1String("cycles")) {
            startCycles();
        } else {
            fail("TALLY_BENCH: cpu PROTOCOL VIEW SETTLE SECONDS | cycles PROTOCOL COUNT");
        }
    }

  private:
    void openPort(int protocol) {
        const QByteArray option = "optProtocol_" + QByteArray::number(protocol);
        control<QRadioButton>(main_, option.constData())->setChecked(true);
        control<QComboBox>(main_, "cmbCOMM")->setEditText(QStringLiteral("1"));
        control<QComboBox>(main_, "cmbBaud")->setCurrentText(QStringLiteral("19200"));
        control<QComboBox>(main_, "cmbStation")->setEditText(QStringLiteral("1"));
        control<QPushButton>(main_, "cmdCOMM")->click();
        if (control<QLabel>(main_, "labReport")->text() != QLatin1String("On Line"))
            fail("port 1 did not open");
        for (const char* box : {"chkDC", "chkDI", "chkDO"})
            control<QCheckBox>(main_, box)->setChecked(true);
    }

    void startCpu() {
        const int protocol = args_.value(1).toInt();
        const QString view = args_.value(2);
        const int settleMs = args_.value(3).toInt() * 1000;
        const int seconds = args_.value(4).toInt();
        if (view == QLatin1String("line")) {
            control<QAction>(main_, "mnuLine")->trigger();
        } else if (view == QLatin1String("stations")) {
            openStations(QStringLiteral("1"));
        } else if (view == QLatin1String("trend")) {
            control<QAction>(main_, "mnuTrend")->trigger();
            QWidget* chart = main_->findChild<QWidget*>(QStringLiteral("frmTrend"));
            if (chart == nullptr) fail("no trend chart");
            control<QComboBox>(chart, "cmbTrendSpan")->setCurrentText(QStringLiteral("10 min"));
        }
        if (protocol >= 0) {
            openPort(protocol);
            control<QLineEdit>(main_, "txtAutoRead")->setText(QStringLiteral("1"));
            control<QCheckBox>(main_, "chkRead")->setChecked(true);
        }
        QTimer::singleShot(settleMs, [this, seconds] {
            cpuBefore_ = cpuSeconds();
            systemBefore_ = systemSeconds();
            wakeBefore_ = wakeUps();
            wall_.start();
            CALLGRIND_START_INSTRUMENTATION;
            if (qEnvironmentVariableIsSet("TALLY_BENCH_EVENTS")) qApp->installEventFilter(&events_);
            QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, [this] {
                const double cpu = cpuSeconds() - cpuBefore_;
                const long wakes = wakeUps() - wakeBefore_;
                CALLGRIND_STOP_INSTRUMENTATION;
                qApp->removeEventFilter(&events_);
                if (qEnvironmentVariableIsSet("TALLY_BENCH_EVENTS"))
                    events_.print(wall_.elapsed() / 1000.0);
                finish(QByteArray("cpu ") + QByteArray::number(cpu, 'f', 4) + ' ' +
                       QByteArray::number(wall_.elapsed() / 1000.0, 'f', 3) + ' ' +
                       QByteArray::number(static_cast<qlonglong>(wakes)) + ' ' +
                       QByteArray::number(systemSeconds() - systemBefore_, 'f', 4));
            });
        });
    }

    void openStations(const QString& list) {
        control<QAction>(main_, "mnuStations")->trigger();
        QWidget* view = main_->findChild<QWidget*>(QStringLiteral("frmStations"));
        if (view == nullptr) fail("no Stations view");
        auto* field = control<QLineEdit>(view, "txtStationList");
        field->setText(list);
        emit field->editingFinished();
    }

    // A single cycle ends when the program unticks "Read".
    void startCycles() {
        if (args_.size() > 3) openStations(args_.value(3));
        openPort(args_.value(1).toInt());
        count_ = args_.value(2).toInt();
        control<QLineEdit>(main_, "txtAutoRead")->setText(QStringLiteral("0"));
        read_ = control<QCheckBox>(main_, "chkRead");
        QObject::connect(read_, &QCheckBox::stateChanged, read_, [this](int state) {
            if (state != Qt::Unchecked || !wall_.isValid()) return;
            ms_.push_back(wall_.nsecsElapsed() / 1e6);
            wall_.invalidate();
            // The next one from a fresh event-loop turn, as a click would come.
            QTimer::singleShot(0, [this] { nextCycle(); });
        });
        QTimer::singleShot(1000, [this] { nextCycle(); });
        QTimer::singleShot(5000 + count_ * 2000, [] { fail("cycles did not end"); });
    }

    void nextCycle() {
        if (static_cast<int>(ms_.size()) >= count_) {
            std::sort(ms_.begin(), ms_.end());
            finish(QByteArray("cycles ") + QByteArray::number(ms_[ms_.size() / 2], 'f', 1) + ' ' +
                   QByteArray::number(ms_.front(), 'f', 1) + ' ' +
                   QByteArray::number(ms_.back(), 'f', 1) + ' ' +
                   QByteArray::number(static_cast<qlonglong>(ms_.size())));
            return;
        }
        wall_.start();
        read_->setChecked(true);
    }

    QStringList args_;
    QWidget* main_ = nullptr;
    QCheckBox* read_ = nullptr;
    double cpuBefore_ = 0.0;
    double systemBefore_ = 0.0;
    long wakeBefore_ = 0;
    QElapsedTimer wall_;
    int count_ = 0;
    std::vector<double> ms_;
    EventCount events_;
};

void installDriver() {
    const QByteArray plan = qgetenv("TALLY_BENCH");
    if (plan.isEmpty()) return;
    auto* driver =
        new Driver(QString::fromLatin1(plan).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    // Runs once the window is up and the event loop turns.
    QTimer::singleShot(0, [driver] { driver->start(); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installDriver)
