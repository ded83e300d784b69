#include "app/headless/headless_host.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <algorithm>
#include <csignal>
#include <iostream>

#include "app/exit_signals.h"
#include "engine/qt_timer.h"
#include "engine/system_clock.h"
#include "log/log_time.h"
#include "protocol/frames.h"
#include "serial/posix_serial_port.h"

namespace tally {
namespace {

// How often a stopping run looks whether the exchange in flight is over, and how
// long it waits at most (the longest reply deadline is well under this).
constexpr int kLineWaitTickMs = 10;
constexpr std::int64_t kLineWaitLimitMicros = 5'000'000;

constexpr int kProgressEveryMs = 60'000;
// A minute of cycles at one a second, with room to spare.
constexpr std::size_t kCycleTimesKept = 1000;

// "; commands allowed: station 1 do, station 7 do,clear", or "".
std::string AllowedText(const AllowList& allow) {
    std::string text;
    for (const auto& [station, actions] : allow) {
        std::string names;
        for (const CommandAction action : kCommandActions) {
            if ((actions & static_cast<unsigned>(action)) != 0)
                names += (names.empty() ? "" : ",") + std::string(CommandActionName(action));
        }
        text += (text.empty() ? "; commands allowed: " : ", ") + std::string("station ") +
                std::to_string(station) + " " + names;
    }
    return text;
}

}  // namespace

HeadlessHost::HeadlessHost(const HeadlessOptions& options, SerialComponent& port, Clock& clock,
                           TimerFactory& timers, std::function<void(const std::string&)> say)
    : options_(options), port_(port), clock_(clock), say_(std::move(say)) {
    line_ = std::make_unique<LineDriver>(*this, port_, clock_, timers, *this);
    engine_ = &line_->Engine();
    tmrRead_ = &line_->tmrRead();
    tmrNow_ = &line_->tmrNow();
    engine_->Events().Add(this);

    log_ = std::make_unique<LogSession>(engine_->Events(), [this] { return logContext(); });
    log_->SetRotatable(true);
    log_->onChanged = [this] {
        if (log_->WriteFailed() && !logFailureTold_) {
            logFailureTold_ = true;
            Stop(kExitLog, "the log could not be written: " + log_->StopReason());
        }
    };

    if (options_.mqtt.enabled) {
        publishing_ = std::make_unique<HeadlessPublishing>(
            options_, options_.stations, [this] { return logContext(); }, timers, say_,
            QSysInfo::machineHostName().toStdString(), clock_);
        engine_->Events().Add(publishing_.get());
    }
    if (publishing_ && !options_.mqtt.allow.empty()) {
        commands_ = std::make_unique<HeadlessCommands>(*this, *engine_);
        engine_->Events().Add(commands_.get());
        publishing_->onCommand = [this](ReceivedCommand c) { commands_->Take(std::move(c)); };
        commands_->onDone = [this](const ReceivedCommand& c, const std::string& outcome) {
            publishing_->Answer(c, outcome);
        };
    }

    lineWait_.setInterval(kLineWaitTickMs);
    QObject::connect(&lineWait_, &QTimer::timeout, [this] { closeWhenLineFree(); });
}

HeadlessHost::~HeadlessHost() {
    log_.reset();
    if (commands_) engine_->Events().Remove(commands_.get());
    if (publishing_) engine_->Events().Remove(publishing_.get());
    engine_->Events().Remove(this);
}

LogContext HeadlessHost::logContext() const {
    LogContext context;
    context.multipliers = options_.multipliers;
    context.stationMultipliers = options_.stationMultipliers;
    context.intervalSeconds = options_.everySeconds;
    return context;
}

std::string HeadlessHost::portName() const {
    return options_.portNumber > 0 ? "port " + options_.port : options_.port;
}

bool HeadlessHost::Start() {
    // The log first: a file that cannot be written never touches the line.
    if (options_.csv.empty()) {
        // Publishing only.
    } else if (const std::string error = log_->Start(options_.csv); !error.empty()) {
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
    ProtocolIndex = static_cast<std::int16_t>(options_.protocol);
    engine_->SetStations(options_.stations);
    engine_->SetPauseMillis(options_.pauseMs);
    engine_->LineOpened();
    std::string stations;
    for (int station : options_.stations)
        stations += (stations.empty() ? "" : ",") + std::to_string(station);
    say_("polling " + portName() + " at " + std::to_string(options_.baud) + " baud, station" +
         (options_.stations.size() > 1 ? "s " : " ") + stations + ", " +
         ProtocolName(options_.protocol) + ", every " + std::to_string(options_.everySeconds) +
         " s" + (options_.csv.empty() ? "" : "; logging to " + options_.csv) +
         (publishing_ ? "; publishing to " + publishing_->Description() : "") +
         AllowedText(options_.mqtt.allow));
    // The broker is asked for once the line is ours: a run that cannot open its
    // port ends at once, with nothing to say offline about.
    if (publishing_) publishing_->Start();
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
    // A command on the line is answered when its exchange ends; the rest never go.
    if (commands_) commands_->Abandon("not carried out: the run is stopping");
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
    if (publishing_ && !publishing_->Stopped()) {
        // What is still queued goes to the broker first, for at most the drain time.
        publishing_->onStopped = [this] { finished(); };
        publishing_->Stop();
        return;
    }
    finished();
}

void HeadlessHost::finished() {
    if (finished_) return;
    for (const std::string& reason : reasons_)
        say_(reason);
    std::string done = "stopped after " + std::to_string(cycles_) + " cycles";
    if (!options_.csv.empty())
        done += "; " + std::to_string(log_->Rows()) + " rows written to " + options_.csv;
    if (publishing_) done += "; " + publishing_->Delivered();
    say_(done);
    finished_ = true;
    if (onFinished) onFinished();
}

std::string HeadlessHost::ProgressLine() {
    std::string line = FormatLocalLogTime(clock_.UtcMillis()) + " " + std::to_string(cycles_) +
                       " cycles, " + std::to_string(log_->Rows()) + " rows, ";
    std::string failed;
    std::int64_t failedTotal = 0;
    for (const auto& [station, count] : failedRequests_) {
        failedTotal += count;
        failed += (failed.empty() ? "" : ", ") + std::string("station ") + std::to_string(station) +
                  ": " + std::to_string(count);
    }
    line += std::to_string(failedTotal) + " failed requests";
    if (!failed.empty()) line += " (" + failed + ")";
    if (!cycleMicros_.empty()) {
        // Over the cycles since the last progress line.
        std::vector<std::int64_t> times = cycleMicros_;
        std::sort(times.begin(), times.end());
        const auto ms = [](std::int64_t micros) { return std::to_string((micros + 500) / 1000); };
        line += ", cycle " + ms(times[times.size() / 2]) + " ms median, " + ms(times.back()) +
                " ms max";
        cycleMicros_.clear();
    }
    std::string lost;
    for (int station : health_.LostStations())
        lost += (lost.empty() ? "" : ",") + std::to_string(station);
    if (!lost.empty()) line += ", lost: station " + lost;
    return line + ", last: " + (status_.empty() ? "-" : status_) +
           (publishing_ ? "; " + publishing_->Summary() : "");
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
    switch (event.type) {
        case LineEvent::Type::Request:
            if (!cycleStartMicros_) cycleStartMicros_ = event.monoMicros;
            break;
        case LineEvent::Type::Outcome:
            if (OutcomeApplies(event.outcome)) {
                answered_.insert(event.station);
            } else {
                ++failedRequests_[event.station];
            }
            break;
        case LineEvent::Type::CycleEnd:
            stationCycleEnded(event);
            break;
        case LineEvent::Type::Opened:
        case LineEvent::Type::Closed:
        case LineEvent::Type::LateReply:
            break;
    }
}

void HeadlessHost::stationCycleEnded(const LineEvent& event) {
    const bool answered = answered_.erase(event.station) > 0;
    const StationHealth::Change change = health_.CycleEnded(event.station, answered);
    // One verdict for the lines here and the station's published status.
    if (publishing_) publishing_->StationChanged(event.station, change);
    switch (change) {
        case StationHealth::Change::Lost:
            say_("station " + std::to_string(event.station) + " lost: no good reply in " +
                 std::to_string(StationHealth::kCyclesToLose) + " cycles in a row");
            break;
        case StationHealth::Change::Back:
            say_("station " + std::to_string(event.station) + " back");
            break;
        case StationHealth::Change::None:
        case StationHealth::Change::FirstAnswer:
            break;
    }
    // A whole cycle has read every listed station.
    if (event.station != options_.stations.back()) return;
    ++cycles_;
    if (cycleStartMicros_ && cycleMicros_.size() < kCycleTimesKept)
        cycleMicros_.push_back(event.monoMicros - *cycleStartMicros_);
    cycleStartMicros_.reset();
    if (options_.cycles > 0 && cycles_ >= options_.cycles) Stop(kExitDone);
}

// --- The run ---

namespace {

void say(const std::string& line) {
    std::cerr << "tallyscope: " << line << std::endl;
}

}  // namespace

int RunHeadless(const HeadlessOptions& options) {
    PosixSerialPort serial(ApplicationPortEnvironment());
    if (options.portNumber > 0) {
        serial.SetCommPort(static_cast<std::int16_t>(options.portNumber));
    } else {
        serial.SetDevicePath(options.port);
    }
    SystemClock clock;
    QtTimerFactory timers;
    HeadlessHost host(options, serial, clock, timers, say);

    // A reader of standard output that goes away is a failed write, not a killed program.
    std::signal(SIGPIPE, SIG_IGN);
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
