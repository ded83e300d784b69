#include "log/log_session.h"

namespace tally {

LogSession::LogSession(LineEvents& events, CounterLog::ContextSource context,
                       CounterLog::TimeFormat time)
    : events_(events), context_(std::move(context)), time_(std::move(time)) {}

LogSession::~LogSession() {
    onChanged = nullptr;
    Stop();
}

std::string LogSession::Start(const std::string& path) {
    Stop();
    path_ = path;
    rows_ = 0;
    writeFailed_ = false;
    stopReason_ = file_.Open(path);
    if (!stopReason_.empty()) {
        started_ = false;
        if (onChanged) onChanged();
        return stopReason_;
    }
    started_ = true;
    active_ = true;
    log_ = std::make_unique<CounterLog>(file_, context_, time_);
    log_->onRow = [this] {
        rows_ = log_->Rows();
        if (onChanged) onChanged();
    };
    log_->onReading = [this](const StationReading& reading) {
        if (onReading) onReading(reading);
    };
    log_->onFailed = [this](const std::string& reason) {
        writeFailed_ = true;
        Stop(reason);
    };
    events_.Add(this);
    if (onChanged) onChanged();
    return std::string();
}

void LogSession::Stop(const std::string& why) {
    if (!active_) return;
    active_ = false;
    events_.Remove(this);
    // The last row may fail and stop the session once more from inside: active_ is already false.
    if (!log_->Failed()) log_->Finish();
    rows_ = log_->Rows();
    file_.Close();
    if (stopReason_.empty()) stopReason_ = why;
    if (onChanged) onChanged();
}

std::string LogSession::Reopen() {
    if (!active_) return std::string();
    const std::string error = file_.Reopen();
    if (!error.empty()) {
        writeFailed_ = true;
        Stop(error);
    }
    return error;
}

void LogSession::OnLineEvent(const LineEvent& event) {
    if (!active_) return;
    log_->OnLineEvent(event);
    if (active_ && event.type == LineEvent::Type::Closed) Stop("the port was closed");
}

std::string LogSession::StateText() const {
    if (Logging()) return "Logging to " + path_ + ": " + std::to_string(rows_) + " rows";
    if (stopReason_.empty()) return "Not logging";
    if (!started_) return "Not logging: " + stopReason_;
    return "Logging stopped after " + std::to_string(rows_) + " rows: " + stopReason_;
}

}  // namespace tally
