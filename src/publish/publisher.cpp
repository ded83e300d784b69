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
    const auto oneShot = [this](Timer& timer, Event event) {
        timer.onTick = [this, &timer, event] {
            timer.SetEnabled(false);
            on(event);
        };
    };
    oneShot(*retry_, Event::RetryDue);
    oneShot(*drain_, Event::DrainDone);
    oneShot(*hangUp_, Event::HangUpDue);
    client_.onConnected = [this] { on(Event::Accepted); };
    client_.onDisconnected = [this](const std::string& reason) { on(Event::Ended, reason); };
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
    on(Event::Start);
}

void Publisher::Queue(MqttMessage message, bool counted) {
    // The cycle in hand when the line closes is still taken, and drained.
    if (state_ == State::Stopped) return;
    queue_.push_back({std::move(message), 0, false, counted});
    dropPastTheBound();
    sendMore();
}

void Publisher::dropPastTheBound() {
    // Only what was never handed over: a message on the wire may reach the
    // broker whatever becomes of it here, so it is not counted as dropped.
    const std::size_t limit = std::max<std::size_t>(settings_.queueLimit, 1);
    while (queue_.size() - handedOver_ > limit) {
        const auto oldest = queue_.begin() + static_cast<std::ptrdiff_t>(handedOver_);
        if (oldest->counted) ++dropped_;
        queue_.erase(oldest);
    }
}

void Publisher::Keep(MqttMessage message) {
    if (state_ == State::Stopped) return;
    const auto same = std::find_if(kept_.begin(), kept_.end(),
                                   [&](const MqttMessage& m) { return m.topic == message.topic; });
    if (same != kept_.end() && same->payload == message.payload && same->retain == message.retain)
        return;
    if (state_ == State::Connected) client_.Publish(message);
    if (same != kept_.end()) {
        *same = std::move(message);
    } else {
        kept_.push_back(std::move(message));
    }
}

void Publisher::on(Event event, const std::string& reason) {
    const State was = state_;
    switch (event) {
        case Event::Start:
            if (was != State::Idle) return;
            state_ = State::Connecting;
            client_.Connect();
            return;
        case Event::RetryDue:
            if (was != State::BackingOff) return;
            state_ = State::Connecting;
            client_.Connect();
            return;
        case Event::Accepted:
            if (was != State::Connecting) return;
            state_ = State::Connected;
            retryMs_ = kFirstRetryMs;
            lastFailure_.clear();
            say_("MQTT: connected to " + settings_.broker);
            for (const MqttMessage& message : kept_)
                client_.Publish(message);
            client_.Publish({StatusTopic(settings_.prefix), "online", true});
            sendMore();
            if (onConnection) onConnection(true);
            return;
        case Event::Ended: {
            // What was on the wire goes again on the next connection: the broker
            // may have it, and a duplicate is told apart by its time.
            for (std::size_t i = 0; i < sentCount_ && i < queue_.size(); ++i)
                queue_[i].id = 0;
            sentCount_ = 0;
            inFlight_ = 0;
            if (was == State::HangingUp) return finish();
            if (was != State::Connecting && was != State::Connected) return;
            state_ = State::BackingOff;
            const std::string why = reason.empty() ? "connection closed" : reason;
            if (was == State::Connected) {
                say_("MQTT: lost the connection to " + settings_.broker + ": " + why +
                     "; readings are queued until it is back");
                if (onConnection) onConnection(false);
            } else if (why != lastFailure_) {
                say_("MQTT: cannot connect to " + settings_.broker + ": " + why + "; retrying");
            }
            lastFailure_ = why;
            retry_->SetInterval(retryMs_);
            retry_->SetEnabled(true);
            retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
            return;
        }
        case Event::Stop:
            if (draining_ || was == State::Stopped) return;
            if (was == State::Idle) return finish();
            draining_ = true;
            if (settings_.drainSeconds <= 0 || (was == State::Connected && queue_.empty()))
                return on(Event::DrainDone);
            drain_->SetInterval(settings_.drainSeconds * 1000);
            drain_->SetEnabled(true);
            return;
        case Event::DrainDone:
            if (!draining_ || was == State::HangingUp || was == State::Stopped) return;
            if (was != State::Connected) return finish();
            // The offline status goes out behind everything handed over, then the
            // disconnect: the broker drops the will, and dashboards see the run end.
            state_ = State::HangingUp;
            retry_->SetEnabled(false);
            drain_->SetEnabled(false);
            client_.Publish({StatusTopic(settings_.prefix), "offline", true});
            client_.Disconnect();
            hangUp_->SetEnabled(true);
            return;
        case Event::HangUpDue:
            if (was == State::HangingUp) finish();
            return;
    }
}

void Publisher::published(int id) {
    const auto end = queue_.begin() + static_cast<std::ptrdiff_t>(sentCount_);
    const auto entry =
        std::find_if(queue_.begin(), end, [id](const Entry& e) { return e.id == id && !e.acked; });
    if (entry == end) return;  // a kept message, or one dropped meanwhile
    entry->acked = true;
    ++ackedInQueue_;
    --inFlight_;
    if (entry->counted) ++delivered_;
    while (!queue_.empty() && queue_.front().acked) {
        queue_.pop_front();
        --sentCount_;
        --handedOver_;
        --ackedInQueue_;
    }
    sendMore();
}

void Publisher::sendMore() {
    while (state_ == State::Connected && inFlight_ < kWindow && sentCount_ < queue_.size()) {
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
    if (draining_ && state_ == State::Connected && queue_.empty()) on(Event::DrainDone);
}

void Publisher::Stop() {
    on(Event::Stop);
}

void Publisher::finish() {
    state_ = State::Stopped;
    retry_->SetEnabled(false);
    drain_->SetEnabled(false);
    hangUp_->SetEnabled(false);
    if (undelivered() > 0) {
        say_("MQTT: " + std::to_string(undelivered()) + " state messages were not delivered to " +
             settings_.broker);
    }
    if (onStopped) onStopped();
}

std::string Publisher::Summary() const {
    // Until the client confirms the disconnect, the connection is still there.
    const bool connected = state_ == State::Connected || state_ == State::HangingUp;
    std::string text =
        (connected ? "connected, " : "no broker, ") + std::to_string(undelivered()) + " queued";
    if (dropped_ > 0) text += ", " + std::to_string(dropped_) + " dropped";
    return text;
}

}  // namespace tally
