// Sends what a run reads to an MQTT broker without ever holding up the run.
//
// State messages wait in a bounded queue, in order, until the broker has
// acknowledged them; while there is no connection they stay queued and go out
// on the next one with their original time inside. The bound counts the
// messages not yet handed to the client: past it the oldest of those are
// dropped and counted, so a dropped message never reached the broker, while one
// handed over stays until it is acknowledged (delivered) or the run ends.
// Latest-value messages (station status, discovery) are kept by topic and sent
// again after every connect. The client retries with a back-off from 1 s to
// 30 s; a clean stop delivers what is still queued for at most the drain time,
// then says offline and disconnects.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/timer.h"
#include "publish/mqtt_client.h"

namespace tally {

struct PublisherSettings {
    std::string prefix;  // "tallyscope/cabinet-3"
    std::string broker;  // "broker:1883", for the lines on standard error
    std::size_t queueLimit = 28'800;
    int drainSeconds = 10;
};

class Publisher {
  public:
    static constexpr int kFirstRetryMs = 1'000;
    static constexpr int kLastRetryMs = 30'000;
    // State messages on the wire at once; the rest wait in the queue, where the
    // bound and the drop count apply.
    static constexpr int kWindow = 20;

    // `say` takes one line for the run's report, without its line end.
    Publisher(MqttClient& client, TimerFactory& timers, PublisherSettings settings,
              std::function<void(const std::string&)> say);
    ~Publisher();

    // The message the broker publishes if this program vanishes: <prefix>/status offline.
    static MqttMessage Will(const std::string& prefix);

    void Start();
    // A state message, in order behind those still queued. `counted`: it counts
    // in Delivered() and Dropped() (a command's answer does not).
    void Queue(MqttMessage message, bool counted = true);
    // A retained latest value: replaces the one kept for its topic, goes out now
    // when connected, and again after every connect.
    void Keep(MqttMessage message);
    // Delivers what is queued (at most the drain time), publishes offline and
    // disconnects; onStopped follows. Nothing is taken after it.
    void Stop();
    std::function<void()> onStopped;
    // The connection was accepted (true) or lost (false).
    std::function<void(bool connected)> onConnection;

    bool Stopped() const { return state_ == State::Stopped; }
    std::int64_t Delivered() const { return delivered_; }
    std::int64_t Dropped() const { return dropped_; }
    // "connected, 3 queued" or "no broker, 340 queued, 12 dropped".
    std::string Summary() const;

  private:
    // Where the connection is. A stop does not change it at once: with the
    // broker away, attempts go on for the drain time (`draining_`).
    enum class State {
        Idle,        // not started
        Connecting,  // an attempt is out; the client answers it
        BackingOff,  // the retry timer runs
        Connected,   // state messages go out
        HangingUp,   // after a stop: offline and the disconnect handed over
        Stopped,     // nothing is taken any more
    };
    enum class Event {
        Start,
        Stop,
        Accepted,   // the client connected
        Ended,      // the attempt failed or the connection ended
        RetryDue,   // the retry timer
        DrainDone,  // a stop's queue is empty, or the drain time is up
        HangUpDue,  // the client did not confirm the disconnect in time
    };
    struct Entry {
        MqttMessage message;
        int id = 0;  // 0: not sent on this connection
        bool acked = false;
        bool counted = true;
    };

    // Every change of state_ and draining_ is made here (and in finish(), which
    // only it calls).
    void on(Event event, const std::string& reason = {});
    void finish();

    void dropPastTheBound();
    void published(int id);
    void sendMore();
    // Not yet delivered: waiting, or handed over and not acknowledged.
    std::size_t undelivered() const { return queue_.size() - ackedInQueue_; }

    MqttClient& client_;
    PublisherSettings settings_;
    std::function<void(const std::string&)> say_;
    std::unique_ptr<Timer> retry_;
    std::unique_ptr<Timer> drain_;
    std::unique_ptr<Timer> hangUp_;
    // Handed over entries are always at the front, in order: [0, sentCount_) on
    // this connection, [0, handedOver_) on this or an earlier one (the broker may
    // have them); the rest wait and are what the bound drops.
    std::deque<Entry> queue_;
    std::size_t sentCount_ = 0;
    std::size_t handedOver_ = 0;
    std::size_t ackedInQueue_ = 0;  // acknowledged behind an unacknowledged one
    int inFlight_ = 0;
    std::vector<MqttMessage> kept_;
    int retryMs_ = kFirstRetryMs;
    std::string lastFailure_;
    State state_ = State::Idle;
    bool draining_ = false;  // a stop was asked: the drain time runs
    std::int64_t delivered_ = 0;
    std::int64_t dropped_ = 0;
};

}  // namespace tally
