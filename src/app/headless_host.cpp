#include "app/headless_host.h"

#include <QCoreApplication>
#include <csignal>
#include <iostream>

#include "app/exit_signals.h"
#include "engine/qt_timer.h"
#include "engine/system_clock.h"
#include "log/log_time.h"
#include "protocol/frames.h"
#include "serial/qt_serial_component.h"

namespace tally {
namespace {

// How often a stopping run looks whether the exchange in flight is over, and how
// long it waits at most (the longest reply deadline is well under this).
constexpr int kLineWaitTickMs = 10;
constexpr std::int64_t kLineWaitLimitMicros = 5'000'000;

constexpr int kProgressEveryMs = 60'000;

}  // namespace

HeadlessHost::HeadlessHost(const HeadlessOptions& options, SerialComponent& port, Clock& clock,
                           TimerFactory& timers, std::function<void(const std::string&)> say)
    : options_(options), port_(port), clock_(clock), say_(std::move(say)) {
    tmrRead_ = timers.Create(40);
    tmrRead_->SetEnabled(false);
    tmrNow_ = timers.Create(995);
    tmrNow_->SetEnabled(false);
    engine_ = std::make_unique<PollEngine>(*this, port_, clock_, *tmrRead_, *tmrNow_, *this);
    tmrRead_->onTick = [this] { engine_->tmrRead_Timer(); };
    tmrNow_->onTick = [this] { engine_->tmrNow_Timer(); };
    // A reply is looked at as soon as its bytes arrive, as in the window.
    port_.onBytesArrived = [this] { engine_->BytesArrived(); };
    engine_->Events().Add(this);

    log_ = std::make_unique<LogSession>(engine_->Events(), [this] {
        LogContext context;
        context.multipliers = options_.multipliers;
        context.intervalSeconds = options_.everySeconds;
        return context;
    });
    log_->SetRotatable(true);
    log_->onChanged = [this] {
        if (log_->WriteFailed() && !logFailureTold_) {
            logFailureTold_ = true;
            Stop(kExitLog, "the log could not be written: " + log_->StopReason());
        }
    };

    lineWait_.setInterval(kLineWaitTickMs);
    QObject::connect(&lineWait_, &QTimer::timeout, [this] { closeWhenLineFree(); });
}

HeadlessHost::~HeadlessHost() {
    port_.onBytesArrived = nullptr;
    tmrRead_->onTick = nullptr;
    tmrNow_->onTick = nullptr;
    log_.reset();
    engine_->Events().Remove(this);
}

std::string HeadlessHost::portName() const {
    return options_.portNumber > 0 ? "port " + options_.port : options_.port;
}

bool HeadlessHost::Start() {
    // The log first: a file that cannot be written never touches the line.
    if (const std::string error = log_->Start(options_.csv); !error.empty()) {
        say_("cannot log to " + options_.csv + ": " + error);
        exitCode_ = kExitLog;
        finished_ = true;
        return false;
    }
    try {
        port_.SetSettings(std::to_string(options_.baud) + ",n,8,1");
        port_.SetPortOpen(true);
        port_.Input();
    } catch (const SerialError& error) {
        log_->Stop();
        say_(portName() + " could not be opened: " + error.what());
        exitCode_ = kExitPort;
        finished_ = true;
        return false;
    }
    lineOpen_ = true;
    StationHex = StationHexOf(options_.station);
    ProtocolIndex = static_cast<std::int16_t>(options_.protocol);
    engine_->LineOpened();
    say_("polling " + portName() + " at " + std::to_string(options_.baud) + " baud, station " +
         std::to_string(options_.station) + ", " + ProtocolLogName(options_.protocol) + ", every " +
         std::to_string(options_.everySeconds) + " s; logging to " + options_.csv);
    reading_ = true;
    engine_->ReadTicked(options_.everySeconds);
    return true;
}

void HeadlessHost::ReopenLog() {
    if (log_->Logging() && log_->Reopen().empty() && options_.csv != "-") {
        say_("reopened " + options_.csv);
    }
}

void HeadlessHost::Stop(int exitCode, const std::string& why) {
    if (stopping_) {
        // The log failing while the run ends (the cycle in hand, the last row)
        // still decides how the run ended, whatever ended it first.
        if (exitCode == kExitLog && exitCode_ != kExitLog) {
            exitCode_ = kExitLog;
            reasons_.push_back(why);
        }
        return;
    }
    stopping_ = true;
    exitCode_ = exitCode;
    if (!why.empty()) reasons_.push_back(why);
    // No new cycle starts; the request on the line gets its reply or its deadline.
    reading_ = false;
    tmrNow_->SetEnabled(false);
    lineWaitStartMicros_ = clock_.MonotonicMicros();
    lineWait_.start();
}

void HeadlessHost::closeWhenLineFree() {
    if (engine_->LineBusy() &&
        clock_.MonotonicMicros() - lineWaitStartMicros_ < kLineWaitLimitMicros) {
        return;
    }
    finish();
}

void HeadlessHost::finish() {
    lineWait_.stop();
    tmrNow_->SetEnabled(false);
    tmrRead_->SetEnabled(false);
    if (lineOpen_) {
        lineOpen_ = false;
        // The log writes the cycle in hand when it hears of the closing.
        engine_->LineClosed();
        try {
            port_.SetPortOpen(false);
        } catch (const SerialError&) {
            // A port that already failed cannot be closed any further.
        }
    }
    log_->Stop();
    for (const std::string& reason : reasons_)
        say_(reason);
    say_("stopped after " + std::to_string(cycles_) + " cycles; " + std::to_string(log_->Rows()) +
         " rows written to " + options_.csv);
    finished_ = true;
    if (onFinished) onFinished();
}

std::string HeadlessHost::ProgressLine() const {
    return FormatLocalLogTime(clock_.UtcMillis()) + " " + std::to_string(cycles_) + " cycles, " +
           std::to_string(log_->Rows()) + " rows, " + std::to_string(failedRequests_) +
           " failed requests, last: " + (status_.empty() ? "-" : status_);
}

int HeadlessHost::ReadBoxValue(ReadKind kind) const {
    switch (kind) {
        case ReadKind::Counters:
            return options_.readCounters ? 1 : 0;
        case ReadKind::Inputs:
            return options_.readInputs ? 1 : 0;
        case ReadKind::Outputs:
            break;
    }
    return options_.readOutputs ? 1 : 0;
}

void HeadlessHost::DecodeReply() {
    // Nothing to show: the log takes each reply's meaning from the line events.
}

void HeadlessHost::ApplyReply(const ReplyMeaning&) {}

void HeadlessHost::PortFailed(const std::string& reason) {
    Stop(kExitPort, portName() + " failed: " + reason);
}

void HeadlessHost::OnLineEvent(const LineEvent& event) {
    if (event.type == LineEvent::Type::Outcome && !OutcomeApplies(event.outcome)) {
        ++failedRequests_;
    } else if (event.type == LineEvent::Type::CycleEnd) {
        ++cycles_;
        if (options_.cycles > 0 && cycles_ >= options_.cycles) Stop(kExitDone);
    }
}

// --- The run ---

namespace {

void say(const std::string& line) {
    std::cerr << "tallyscope: " << line << std::endl;
}

}  // namespace

int RunHeadless(const HeadlessOptions& options) {
    QtSerialComponent serial(ApplicationPortEnvironment());
    if (options.portNumber > 0) {
        serial.SetCommPort(static_cast<std::int16_t>(options.portNumber));
    } else {
        serial.SetDevicePath(options.port);
    }
    SystemClock clock;
    QtTimerFactory timers;
    HeadlessHost host(options, serial, clock, timers, say);

#ifndef _WIN32
    // A reader of standard output that goes away is a failed write, not a killed program.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Ctrl+C and SIGTERM end the run after the exchange on the line; a second one
    // ends the program at once.
    ExitSignals exitSignals(ExitSignals::Hangup::Reopens);
    QObject::connect(&exitSignals, &ExitSignals::received,
                     [&host] { host.Stop(kExitDone, "stopping: signal received"); });
    QObject::connect(&exitSignals, &ExitSignals::reopenRequested, [&host] { host.ReopenLog(); });

    if (!host.Start()) return host.ExitCode();
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&host] { say(host.ProgressLine()); });
    progress.start(kProgressEveryMs);
    host.onFinished = [] { QCoreApplication::exit(0); };
    if (!host.Finished()) QCoreApplication::exec();
    return host.ExitCode();
}

}  // namespace tally
