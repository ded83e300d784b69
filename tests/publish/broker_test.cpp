// The publisher and the libmosquitto client against a real mosquitto broker
// started for the test: retained state in order, a broker restart in the middle,
// and a refused login.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "engine/qt_timer.h"
#include "mqtt_broker.h"
#include "publish/mosquitto_client.h"
#include "publish/publisher.h"
#include "publish/topics.h"

namespace tally {
namespace {

using testing::MqttBroker;
using testing::MqttSubscriber;
using testing::RunUntil;

const std::string kPrefix = "test/cab1";

class BrokerTest : public ::testing::Test {
  protected:
    void connectTo(int port, const std::string& user = {},
                   std::optional<std::string> password = std::nullopt) {
        MqttConnection c;
        c.host = "127.0.0.1";
        c.port = port;
        c.user = user;
        c.password = password;
        c.clientId = "tallyscope-test-" + std::to_string(port);
        c.keepAliveSeconds = 5;
        c.will = Publisher::Will(kPrefix);
        client = std::make_unique<MosquittoClient>(c);
        publisher = std::make_unique<Publisher>(
            *client, timers, PublisherSettings{kPrefix, "broker", 1000, 5},
            [this](const std::string& line) { lines.push_back(line); });
        publisher->onStopped = [this] { stopped = true; };
        publisher->Start();
    }

    void queue(int n) { publisher->Queue({StateTopic(kPrefix, 1), std::to_string(n), true}); }

    QtTimerFactory timers;
    std::unique_ptr<MosquittoClient> client;
    std::unique_ptr<Publisher> publisher;
    std::vector<std::string> lines;
    bool stopped = false;
};

TEST_F(BrokerTest, StatesArriveInOrderAndRetainedAndAStopLeavesOfflineRetained) {
    MqttBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber live(broker.port, kPrefix + "/#");
    ASSERT_TRUE(live.WaitSubscribed());
    connectTo(broker.port);
    publisher->Keep({StationStatusTopic(kPrefix, 1), "online", true});
    for (int n = 1; n <= 200; ++n)
        queue(n);
    ASSERT_TRUE(
        RunUntil([&] { return live.Payloads(StateTopic(kPrefix, 1)).size() >= 200; }, 5000));
    std::vector<std::string> expected;
    for (int n = 1; n <= 200; ++n)
        expected.push_back(std::to_string(n));
    EXPECT_EQ(live.Payloads(StateTopic(kPrefix, 1)), expected);
    EXPECT_EQ(live.Payloads(StatusTopic(kPrefix)), std::vector<std::string>{"online"});

    publisher->Stop();
    ASSERT_TRUE(RunUntil([&] { return stopped; }, 5000));
    ASSERT_TRUE(RunUntil([&] { return live.Payloads(StatusTopic(kPrefix)).size() == 2; }, 3000));
    EXPECT_EQ(live.Payloads(StatusTopic(kPrefix)).back(), "offline");

    // A dashboard that comes later sees the last state at once, and the statuses.
    MqttSubscriber late(broker.port, kPrefix + "/#");
    ASSERT_TRUE(RunUntil([&] { return late.Messages().size() == 3; }, 3000));
    for (const auto& m : late.Messages()) {
        EXPECT_TRUE(m.retain) << m.topic;
        EXPECT_EQ(m.payload, m.topic == StateTopic(kPrefix, 1) ? "200"
                             : m.topic == StatusTopic(kPrefix) ? "offline"
                                                               : "online");
    }
}

TEST_F(BrokerTest, AcrossABrokerRestartEveryStateArrivesInOrder) {
    MqttBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber live(broker.port, StateTopic(kPrefix, 1));
    ASSERT_TRUE(live.WaitSubscribed());
    connectTo(broker.port);
    int n = 0;
    QTimer cycle;  // a cycle every 20 ms, whatever the broker does
    QObject::connect(&cycle, &QTimer::timeout, [&] { queue(++n); });
    cycle.start(20);
    ASSERT_TRUE(RunUntil([&] { return n >= 25; }, 3000));
    broker.Stop();
    RunUntil([] { return false; }, 1500);
    EXPECT_FALSE(publisher->Connected());
    ASSERT_TRUE(broker.Restart());
    ASSERT_TRUE(RunUntil([&] { return publisher->Connected(); }, 8000));
    const int last = n + 25;
    ASSERT_TRUE(RunUntil([&] { return n >= last; }, 3000));
    cycle.stop();
    publisher->Stop();
    ASSERT_TRUE(RunUntil([&] { return stopped; }, 6000));
    ASSERT_TRUE(RunUntil(
        [&] {
            return !live.Payloads(StateTopic(kPrefix, 1)).empty() &&
                   live.Payloads(StateTopic(kPrefix, 1)).back() == std::to_string(n);
        },
        3000));

    // QoS 1 may repeat what was on the wire when the broker went: first arrivals count.
    std::vector<int> firsts;
    for (const std::string& payload : live.Payloads(StateTopic(kPrefix, 1))) {
        const int value = std::stoi(payload);
        if (firsts.empty() || value > firsts.back()) firsts.push_back(value);
    }
    std::vector<int> expected(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        expected[static_cast<std::size_t>(i)] = i + 1;
    EXPECT_EQ(firsts, expected);
    EXPECT_EQ(publisher->Dropped(), 0);
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) {
                               return l.rfind("MQTT: lost the connection to broker:", 0) == 0;
                           }),
              lines.end());
}

TEST_F(BrokerTest, ARefusedLoginIsReportedWithTheBrokersReasonAndRetried) {
    MqttBroker broker;
    ASSERT_TRUE(broker.Start({"plant:right"}));
    connectTo(broker.port, "plant", "wrong");
    ASSERT_TRUE(RunUntil([&] { return !lines.empty(); }, 3000));
    EXPECT_EQ(lines.front(),
              "MQTT: cannot connect to broker: the broker refused the login: Connection Refused: "
              "not authorised.; retrying");
    EXPECT_FALSE(publisher->Connected());
    queue(1);
    EXPECT_EQ(publisher->Queued(), 1u);
}

}  // namespace
}  // namespace tally

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
