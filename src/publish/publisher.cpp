#include "publish/publisher.h"

#include <algorithm>

#include "publish/topics.h"

namespace tally {
namespace {

// How long a stopping run waits for the client to confirm its disconnect.
constexpr int kHangUpMs = 2'000;

}  // namespace

Publisher::Publisher(MqttClient& client, TimerFactory& timers, PublisherSettings settings,
                     std::function<void(const std::string&)> say)
    : client_(client), settings_(std::move(settings)), say_(std::move(say)) {
    retry_ = timers.Create(kFirstRetryMs);
    drain_ = timers.Create(settings_.drainSeconds * 1000);
    hangUp_ = timers.Create(kHangUpMs);
    for (Timer* timer : {retry_.get(), drain_.get(), hangUp_.get()})
        timer->SetEnabled(false);
    // The timers are one-shot: each switches itself off before acting.
    retry_->onTick = [this] {
        retry_->SetEnabled(false);
        if (!stopped_ && !connected_) client_.Connect();
    };
    drain_->onTick = [this] {
        drain_->SetEnabled(false);
        finishDrain();
    };
    hangUp_->onTick = [this] {
        hangUp_->SetEnabled(false);
        finish();
    };
    client_.onConnected = [this] { connected(); };
    client_.onDisconnected = [this](const std::string& reason) { disconnected(reason); };
    client_.onPublished = [this](int id) { published(id); };
}

Publisher::~Publisher() {
    client_.onConnected = nullptr;
    client_.onDisconnected = nullptr;
    client_.onPublished = nullptr;
}

MqttMessage Publisher::Will(const std::string& prefix) {
    return {StatusTopic(prefix), "offline", true};
}

void Publisher::Start() {
    if (started_) return;
    started_ = true;
    client_.Connect();
}

void Publisher::Queue(MqttMessage message) {
    // The cycle in hand when the line closes is still taken, and drained.
    if (stopped_) return;
    queue_.push_back({std::move(message)});
    dropPastTheBound();
    sendMore();
}

void Publisher::dropPastTheBound() {
    // Only what was never handed over: a message on the wire may reach the
    // broker whatever becomes of it here, so it is not counted as dropped.
    const std::size_t limit = std::max<std::size_t>(settings_.queueLimit, 1);
    while (queue_.size() - handedOver_ > limit) {
        queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(handedOver_));
        ++dropped_;
    }
}

void Publisher::Keep(MqttMessage message) {
    if (stopped_) return;
    const auto same = std::find_if(kept_.begin(), kept_.end(),
                                   [&](const MqttMessage& m) { return m.topic == message.topic; });
    if (same != kept_.end() && same->payload == message.payload && same->retain == message.retain)
        return;
    if (connected_) client_.Publish(message);
    if (same != kept_.end()) {
        *same = std::move(message);
    } else {
        kept_.push_back(std::move(message));
    }
}

void Publisher::connected() {
    if (stopped_) return;
    connected_ = true;
    everConnected_ = true;
    retryMs_ = kFirstRetryMs;
    lastFailure_.clear();
    say_("MQTT: connected to " + settings_.broker);
    for (const MqttMessage& message : kept_)
        client_.Publish(message);
    client_.Publish({StatusTopic(settings_.prefix), "online", true});
    sendMore();
}

void Publisher::disconnected(const std::string& reason) {
    const bool wasConnected = connected_;
    connected_ = false;
    // What was on the wire goes again on the next connection: the broker may
    // have it, and a duplicate is told apart by its time.
    for (std::size_t i = 0; i < sentCount_ && i < queue_.size(); ++i)
        queue_[i].id = 0;
    sentCount_ = 0;
    inFlight_ = 0;
    if (stopped_) return;
    if (disconnecting_) {
        finish();
        return;
    }
    const std::string why = reason.empty() ? "connection closed" : reason;
    if (wasConnected) {
        say_("MQTT: lost the connection to " + settings_.broker + ": " + why +
             "; readings are queued until it is back");
    } else if (why != lastFailure_) {
        say_("MQTT: cannot connect to " + settings_.broker + ": " + why + "; retrying");
    }
    lastFailure_ = why;
    retryLater();
}

void Publisher::retryLater() {
    retry_->SetInterval(retryMs_);
    retry_->SetEnabled(true);
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
}

void Publisher::published(int id) {
    const auto end = queue_.begin() + static_cast<std::ptrdiff_t>(sentCount_);
    const auto entry =
        std::find_if(queue_.begin(), end, [id](const Entry& e) { return e.id == id && !e.acked; });
    if (entry == end) return;  // a kept message, or one dropped meanwhile
    entry->acked = true;
    ++ackedInQueue_;
    --inFlight_;
    ++delivered_;
    while (!queue_.empty() && queue_.front().acked) {
        queue_.pop_front();
        --sentCount_;
        --handedOver_;
        --ackedInQueue_;
    }
    sendMore();
}

void Publisher::sendMore() {
    while (connected_ && !disconnecting_ && inFlight_ < kWindow && sentCount_ < queue_.size()) {
        Entry& entry = queue_[sentCount_];
        if (!entry.acked) {
            const int id = client_.Publish(entry.message);
            if (id == 0) return;  // the connection is going; its loss is on its way
            entry.id = id;
            ++inFlight_;
        }
        ++sentCount_;
        handedOver_ = std::max(handedOver_, sentCount_);
    }
    if (stopping_ && connected_ && queue_.empty() && drain_->Enabled()) {
        drain_->SetEnabled(false);
        finishDrain();
    }
}

void Publisher::Stop() {
    if (stopping_) return;
    stopping_ = true;
    if (!started_) {
        finish();
        return;
    }
    drain_->SetInterval(std::max(settings_.drainSeconds, 0) * 1000);
    drain_->SetEnabled(true);
    if (settings_.drainSeconds <= 0 || (connected_ && queue_.empty())) {
        drain_->SetEnabled(false);
        finishDrain();
    }
}

void Publisher::finishDrain() {
    retry_->SetEnabled(false);
    if (!connected_) {
        finish();
        return;
    }
    // The offline status goes out behind everything handed over, then the
    // disconnect: the broker drops the will, and dashboards see the run end.
    client_.Publish({StatusTopic(settings_.prefix), "offline", true});
    disconnecting_ = true;
    client_.Disconnect();
    hangUp_->SetEnabled(true);
}

void Publisher::finish() {
    if (stopped_) return;
    stopped_ = true;
    connected_ = false;
    retry_->SetEnabled(false);
    drain_->SetEnabled(false);
    hangUp_->SetEnabled(false);
    if (Queued() > 0) {
        say_("MQTT: " + std::to_string(Queued()) + " state messages were not delivered to " +
             settings_.broker);
    }
    if (onStopped) onStopped();
}

std::string Publisher::Summary() const {
    std::string text =
        (connected_ ? "connected, " : "no broker, ") + std::to_string(Queued()) + " queued";
    if (dropped_ > 0) text += ", " + std::to_string(dropped_) + " dropped";
    return text;
}

}  // namespace tally
