// Loaded into an unmodified tallyscope binary (LD_PRELOAD) by bench/line_bench.sh:
// works the window as an operator would, through the controls' names only, and
// measures what polling costs. Any build of the program can be measured this way,
// so two builds run side by side under the same driver and the same load.
//
// TALLY_BENCH (blank-separated):
//   cpu PROTOCOL VIEW SETTLE_S SECONDS   PROTOCOL 0-2, or -1 for the idle window off
//                                         line; VIEW: window, line (the line monitor
//                                         open) or trend (the trend chart on "10 min")
//   cycles PROTOCOL COUNT                 single DC+DI+DO cycles, one after the other
// It prints one line to stdout and ends the program:
//   cpu: "cpu <CPU seconds> <wall seconds> <wake-ups>"
//   cycles: "cycles <median ms> <lowest ms> <highest ms> <count>"
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
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

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
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
            wakeBefore_ = wakeUps();
            wall_.start();
            QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, [this] {
                const double cpu = cpuSeconds() - cpuBefore_;
                const long wakes = wakeUps() - wakeBefore_;
                finish(QByteArray("cpu ") + QByteArray::number(cpu, 'f', 4) + ' ' +
                       QByteArray::number(wall_.elapsed() / 1000.0, 'f', 3) + ' ' +
                       QByteArray::number(static_cast<qlonglong>(wakes)));
            });
        });
    }

    // A single cycle ends when the program unticks "Read".
    void startCycles() {
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
    long wakeBefore_ = 0;
    QElapsedTimer wall_;
    int count_ = 0;
    std::vector<double> ms_;
};

void installDriver() {
    const QByteArray spec = qgetenv("TALLY_BENCH");
    if (spec.isEmpty()) return;
    auto* driver =
        new Driver(QString::fromLatin1(spec).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    // Runs once the window is up and the event loop turns.
    QTimer::singleShot(0, [driver] { driver->start(); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installDriver)
