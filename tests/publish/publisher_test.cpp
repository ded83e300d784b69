// The publisher against a fake client playing the broker, on hand-fired timers.
#include <gtest/gtest.h>

#include "manual_timer.h"
#include "publish/publisher.h"

namespace tally {
namespace {

// The broker's side is played by the test. The real client's phases are kept, so a
// call the real one would ignore or refuse fails the test.
class FakeMqttClient : public MqttClient {
  public:
    enum class Phase { Idle, Connecting, Connected, Draining };
    void Connect() override {
        EXPECT_EQ(phase, Phase::Idle) << "a connect while one is out";
        phase = Phase::Connecting;
    }
    void Disconnect() override {
        EXPECT_EQ(phase, Phase::Connected) << "a disconnect without a connection";
        phase = Phase::Draining;
    }
    // A message's id is its place in `sent`, from 1.
    int Publish(const MqttMessage& message) override {
        if (phase != Phase::Connected) return 0;
        sent.push_back(message);
        return static_cast<int>(sent.size());
    }
    void Accept() {
        ASSERT_EQ(phase, Phase::Connecting);
        phase = Phase::Connected;
        onConnected();
    }
    void Drop(const std::string& reason) {
        ASSERT_NE(phase, Phase::Idle);
        phase = Phase::Idle;
        onDisconnected(reason);
    }
    // Acknowledges everything sent so far, in order.
    void AckAll() {
        while (acked < sent.size())
            onPublished(static_cast<int>(++acked));
    }

    Phase phase = Phase::Idle;
    std::size_t acked = 0;
    std::vector<MqttMessage> sent;
};

class PublisherTest : public ::testing::Test {
  protected:
    PublisherTest() { make(100); }
    void make(std::size_t limit, int drainSeconds = 10) {
        publisher.reset();
        timers.created.clear();
        client = FakeMqttClient();
        stopped = false;
        publisher = std::make_unique<Publisher>(
            client, timers, PublisherSettings{"p", "b:1883", limit, drainSeconds},
            [this](const std::string& l) { lines.push_back(l); });
        publisher->onStopped = [this] { stopped = true; };
        publisher->Start();
    }
    ManualTimer& retry() { return *timers.created[0]; }
    ManualTimer& drain() { return *timers.created[1]; }
    ManualTimer& hangUp() { return *timers.created[2]; }
    void queue(int from, int to) {
        for (int i = from; i <= to; ++i)
            publisher->Queue({"p/1/state", std::to_string(i), true});
    }
    // What was sent from `first` on, as "topic payload".
    std::vector<std::string> sent(std::size_t first = 0) const {
        std::vector<std::string> out;
        for (std::size_t i = first; i < client.sent.size(); ++i)
            out.push_back(client.sent[i].topic + " " + client.sent[i].payload);
        return out;
    }

    ManualTimerFactory timers;
    FakeMqttClient client;
    std::unique_ptr<Publisher> publisher;
    std::vector<std::string> lines;
    bool stopped = false;
};

TEST_F(PublisherTest, QueuedWhileAwayDeliveredInOrderAndWhatWasOnTheWireGoesAgain) {
    publisher->Keep({"p/1/status", "online", true});
    queue(1, 3);
    std::vector<int> waits;
    for (int attempt = 0; attempt < 7; ++attempt) {
        client.Drop("refused");
        waits.push_back(retry().Interval());
        retry().Fire();
    }
    EXPECT_EQ(waits, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));
    EXPECT_EQ(lines, std::vector<std::string>{"MQTT: cannot connect to b:1883: refused; retrying"});
    queue(4, 25);
    client.Accept();
    // Kept values, online, then the queue up to the window.
    EXPECT_EQ(sent()[0], "p/1/status online");
    EXPECT_EQ(sent()[1], "p/status online");
    EXPECT_EQ(client.sent.size(), 2u + Publisher::kWindow);
    for (int id = 3; id <= 7; ++id)
        client.onPublished(id);  // states 1-5
    client.Drop("lost");
    EXPECT_EQ(retry().Interval(), 1000) << "a connect starts the back-off afresh";
    const std::size_t before = client.sent.size();
    retry().Fire();
    client.Accept();
    client.AckAll();
    std::vector<std::string> expected{"p/1/status online", "p/status online"};
    for (int i = 6; i <= 25; ++i)
        expected.push_back("p/1/state " + std::to_string(i));
    EXPECT_EQ(sent(before), expected);
    EXPECT_EQ(publisher->Delivered(), 25);
    EXPECT_EQ(publisher->Summary(), "connected, 0 queued");
}

TEST_F(PublisherTest, PastTheBoundWhatWaitsIsDroppedAndCountedWhatWasHandedOverNever) {
    make(3);
    client.Accept();
    queue(1, 6);  // all on the wire: the bound counts what waits
    EXPECT_EQ(publisher->Summary(), "connected, 6 queued");
    client.Drop("lost");  // none acknowledged: the broker may have any of them
    queue(7, 11);         // 7 and 8 never left, so they are the ones dropped
    EXPECT_EQ(publisher->Summary(), "no broker, 9 queued, 2 dropped");
    retry().Fire();
    client.Accept();
    client.AckAll();
    std::vector<std::string> expected{"p/status online"};
    for (const int i : {1, 2, 3, 4, 5, 6, 9, 10, 11})
        expected.push_back("p/1/state " + std::to_string(i));
    EXPECT_EQ(sent(7), expected);
    EXPECT_EQ(publisher->Delivered(), 9);
    EXPECT_EQ(publisher->Dropped(), 2);
    EXPECT_EQ(publisher->Summary(), "connected, 0 queued, 2 dropped");

    // An acknowledgement out of order is delivered at once, not queued any more.
    queue(12, 13);
    const std::size_t last = client.sent.size();
    client.onPublished(static_cast<int>(last));
    EXPECT_EQ(publisher->Delivered(), 10);
    EXPECT_EQ(publisher->Summary(), "connected, 1 queued, 2 dropped");
    // A kept value sent again unchanged is not published again.
    publisher->Keep({"p/2/status", "offline", true});
    publisher->Keep({"p/2/status", "offline", true});
    EXPECT_EQ(sent(last), std::vector<std::string>{"p/2/status offline"});
}

TEST_F(PublisherTest, AStopDrainsTheQueueThenSaysOfflineAndDisconnectsWithinTheDrainTime) {
    client.Accept();
    queue(1, 30);
    publisher->Stop();
    EXPECT_EQ(drain().Interval(), 10'000);
    EXPECT_EQ(client.phase, FakeMqttClient::Phase::Connected) << "the queue first";
    client.AckAll();
    EXPECT_EQ(sent().back(), "p/status offline");
    EXPECT_EQ(client.sent.size(), 32u);
    EXPECT_EQ(client.phase, FakeMqttClient::Phase::Draining);
    client.Drop("");
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(retry().Enabled()) << "no reconnect after the stop";

    // No broker: retries go on for the drain time, then the run ends without it.
    make(100, 5);
    client.Drop("refused");
    queue(1, 2);
    publisher->Stop();
    retry().Fire();
    EXPECT_EQ(client.phase, FakeMqttClient::Phase::Connecting);
    client.Drop("refused");
    drain().Fire();
    EXPECT_TRUE(stopped && !retry().Enabled());
    EXPECT_EQ(lines.back(), "MQTT: 2 state messages were not delivered to b:1883");

    // The broker back within the drain time: the queue goes, then offline; a
    // client that never confirms the disconnect does not hold the run.
    make(100, 5);
    client.Drop("refused");
    queue(1, 2);
    publisher->Stop();
    retry().Fire();
    client.Accept();
    client.AckAll();
    EXPECT_EQ(sent(1),
              (std::vector<std::string>{"p/1/state 1", "p/1/state 2", "p/status offline"}));
    EXPECT_FALSE(stopped);
    EXPECT_TRUE(hangUp().Fire());
    EXPECT_TRUE(stopped);
    EXPECT_EQ(publisher->Summary(), "no broker, 0 queued");
}

}  // namespace
}  // namespace tally
