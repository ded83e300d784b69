// The publisher against a fake client playing the broker, on hand-fired timers.
#include <gtest/gtest.h>

#include "engine/manual_timer.h"
#include "publish/fake_mqtt_client.h"
#include "publish/publisher.h"

namespace tally {
namespace {

class PublisherTest : public ::testing::Test {
  protected:
    PublisherTest() { make(100); }

    void make(std::size_t limit, int drainSeconds = 10) {
        publisher.reset();
        timers = ManualTimerFactory();
        client = FakeMqttClient();
        PublisherSettings settings{"plant/cab1", "broker:1883", limit, drainSeconds};
        publisher = std::make_unique<Publisher>(
            client, timers, settings, [this](const std::string& l) { lines.push_back(l); });
        retry = timers.created[0];
        drain = timers.created[1];
        hangUp = timers.created[2];
    }

    void queueStates(int from, int to) {
        for (int i = from; i <= to; ++i)
            publisher->Queue({"plant/cab1/1/state", std::to_string(i), true});
    }

    // Payloads sent on the state topic, in order.
    std::vector<std::string> states() const {
        std::vector<std::string> payloads;
        for (const auto& s : client.sent) {
            if (s.message.topic == "plant/cab1/1/state") payloads.push_back(s.message.payload);
        }
        return payloads;
    }

    std::vector<std::string> topicsFrom(std::size_t first) const {
        std::vector<std::string> topics;
        for (std::size_t i = first; i < client.sent.size(); ++i)
            topics.push_back(client.sent[i].message.topic + " " + client.sent[i].message.payload);
        return topics;
    }

    ManualTimerFactory timers;
    FakeMqttClient client;
    std::unique_ptr<Publisher> publisher;
    ManualTimer* retry = nullptr;
    ManualTimer* drain = nullptr;
    ManualTimer* hangUp = nullptr;
    std::vector<std::string> lines;
};

TEST_F(PublisherTest, QueuedWhileNoBrokerThenDeliveredInOrderAndWhatWasInFlightGoesAgain) {
    publisher->Start();
    EXPECT_EQ(client.connectCalls, 1);
    publisher->Keep({"plant/cab1/1/status", "online", true});
    queueStates(1, 3);
    client.Drop("Connection refused");
    // The back-off doubles to 30 s and stays there; one line per distinct reason.
    std::vector<int> waits;
    for (int attempt = 0; attempt < 7; ++attempt) {
        ASSERT_TRUE(retry->Enabled());
        waits.push_back(retry->Interval());
        retry->Fire();
        EXPECT_FALSE(retry->Enabled());
        client.Drop("Connection refused");
    }
    EXPECT_EQ(waits, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));
    EXPECT_EQ(lines, std::vector<std::string>{
                         "MQTT: cannot connect to broker:1883: Connection refused; retrying"});
    queueStates(4, 25);
    retry->Fire();
    client.Accept();
    // Kept messages, then online, then the queue up to the window.
    EXPECT_EQ(topicsFrom(0)[0], "plant/cab1/1/status online");
    EXPECT_EQ(topicsFrom(0)[1], "plant/cab1/status online");
    EXPECT_EQ(states().size(), static_cast<std::size_t>(Publisher::kWindow));
    EXPECT_EQ(publisher->Summary(), "connected, 25 queued");
    // Five acknowledged, then the connection drops: the other fifteen on the wire
    // go again, behind nothing, and the retry starts from 1 s again.
    for (int i = 0; i < 5; ++i)
        client.Ack(client.sent[2 + static_cast<std::size_t>(i)].id);
    EXPECT_EQ(publisher->Queued(), 20u);
    client.Drop("Connection lost");
    EXPECT_EQ(
        lines.back(),
        "MQTT: lost the connection to broker:1883: Connection lost; readings are queued until "
        "it is back");
    EXPECT_EQ(retry->Interval(), 1000);
    const std::size_t before = client.sent.size();
    retry->Fire();
    client.Accept();
    client.AckAll();
    EXPECT_EQ(publisher->Queued(), 0u);
    EXPECT_EQ(publisher->Delivered(), 25);
    std::vector<std::string> expected;
    for (int i = 6; i <= 25; ++i)
        expected.push_back(std::to_string(i));
    std::vector<std::string> again = states();
    again.erase(again.begin(), again.end() - 20);
    EXPECT_EQ(again, expected);
    EXPECT_EQ(topicsFrom(before)[0], "plant/cab1/1/status online")
        << "kept values after each connect";
}

TEST_F(PublisherTest,
       PastTheBoundTheOldestAreDroppedAndCountedAndAKeptValueIsSentOnceWhenUnchanged) {
    make(3);
    publisher->Start();
    client.Drop("Connection refused");
    queueStates(1, 5);
    EXPECT_EQ(publisher->Dropped(), 2);
    EXPECT_EQ(publisher->Summary(), "no broker, 3 queued, 2 dropped");
    retry->Fire();
    client.Accept();
    client.AckAll();
    EXPECT_EQ(states(), (std::vector<std::string>{"3", "4", "5"}));
    const std::size_t before = client.sent.size();
    publisher->Keep({"plant/cab1/2/status", "offline", true});
    publisher->Keep({"plant/cab1/2/status", "offline", true});
    publisher->Keep({"plant/cab1/2/status", "online", true});
    EXPECT_EQ(topicsFrom(before), (std::vector<std::string>{"plant/cab1/2/status offline",
                                                            "plant/cab1/2/status online"}));
}

TEST_F(PublisherTest, AStopDeliversWhatIsQueuedThenSaysOfflineAndDisconnects) {
    publisher->Start();
    client.Accept();
    queueStates(1, 30);
    bool stopped = false;
    publisher->onStopped = [&stopped] { stopped = true; };
    publisher->Stop();
    EXPECT_EQ(drain->Interval(), 10'000);
    EXPECT_EQ(client.disconnectCalls, 0) << "the queue first";
    client.AckAll();  // the first window
    client.AckAll();  // the rest
    EXPECT_EQ(states().size(), 30u);
    EXPECT_EQ(client.sent.back().message.topic + " " + client.sent.back().message.payload,
              "plant/cab1/status offline");
    EXPECT_TRUE(client.sent.back().message.retain);
    EXPECT_EQ(client.disconnectCalls, 1);
    EXPECT_FALSE(stopped);
    client.Drop("");
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(retry->Enabled()) << "no reconnect after the stop";
}

TEST_F(PublisherTest, TheDrainTimeBoundsAStopWithAnUnansweringOrAbsentBroker) {
    // Connected, but the broker never acknowledges: offline and disconnect at the deadline.
    publisher->Start();
    client.Accept();
    queueStates(1, 2);
    bool stopped = false;
    publisher->onStopped = [&stopped] { stopped = true; };
    publisher->Stop();
    drain->Fire();
    EXPECT_EQ(client.sent.back().message.payload, "offline");
    EXPECT_EQ(client.disconnectCalls, 1);
    hangUp->Fire();  // the client never confirms
    EXPECT_TRUE(stopped);
    EXPECT_EQ(lines.back(), "MQTT: 2 state messages were not delivered to broker:1883");

    // No broker at all: retries go on during the drain, a broker that comes back
    // in time gets the queue.
    make(100, 5);
    publisher->Start();
    client.Drop("Connection refused");
    queueStates(1, 2);
    publisher->Stop();
    retry->Fire();
    client.Accept();
    client.AckAll();
    EXPECT_EQ(states().size(), 2u);
    EXPECT_EQ(client.disconnectCalls, 1);

    // ... and one that does not: stopped at the deadline, with nothing to say offline on.
    make(100, 5);
    stopped = false;
    publisher->onStopped = [&stopped] { stopped = true; };
    publisher->Start();
    client.Drop("Connection refused");
    queueStates(1, 1);
    publisher->Stop();
    drain->Fire();
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(retry->Enabled());
    EXPECT_EQ(client.disconnectCalls, 0);
}

}  // namespace
}  // namespace tally
