// Discovery configs, the command gate's verdicts, and the publisher against a fake
// client playing the broker on hand-fired timers (the state message: the publishing runs).
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <set>

#include "manual_timer.h"
#include "publish/command_gate.h"
#include "publish/discovery.h"
#include "publish/publisher.h"

namespace tally {
namespace {

QJsonObject Json(const MqttMessage& m) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
}

TEST(Discovery, OneDevicePerStationWithCountersRatesInputsAndOutputsOnItsStateAndStatus) {
    const std::vector<MqttMessage> messages =
        DiscoveryMessages({"ha", "tallyscope/cab 1", "tallyscope-cab.1-ttyUSB0-0a1b2c3d", 5}, 3);
    // Without commands the switches and buttons after the 32 are withdrawn.
    ASSERT_EQ(messages.size(), 49u);
    std::set<QString> ids;
    for (const MqttMessage& m : messages) {
        if (m.payload.empty()) continue;
        const QJsonObject c = Json(m);
        ids.insert(c["unique_id"].toString());
        EXPECT_TRUE(m.retain);
        EXPECT_EQ(c["state_topic"].toString(), "tallyscope/cab 1/3/state");
        EXPECT_EQ(c["expire_after"].toInt(), 15);
        EXPECT_EQ(
            QJsonDocument(c["availability"].toArray()).toJson(QJsonDocument::Compact),
            "[{\"topic\":\"tallyscope/cab 1/status\"},{\"topic\":\"tallyscope/cab 1/3/status\"}]");
        EXPECT_EQ(c["device"]["name"].toString(), "VL4300 station 3");
        EXPECT_EQ(c["device"]["identifiers"][0].toString(), "tallyscope-cab_1-ttyUSB0-0a1b2c3d_3");
    }
    EXPECT_EQ(ids.size(), 32u);
    EXPECT_EQ(messages[0].topic, "ha/sensor/tallyscope-cab_1-ttyUSB0-0a1b2c3d_3/counter1/config");
    EXPECT_EQ(messages[31].topic,
              "ha/binary_sensor/tallyscope-cab_1-ttyUSB0-0a1b2c3d_3/output8/config");
    const auto kind = [&](std::size_t i) {
        const QJsonObject c = Json(messages[i]);
        return (c["name"].toString() + "|" + c["value_template"].toString() + "|" +
                c["state_class"].toString() + "|" + c["unit_of_measurement"].toString() + "|" +
                c["payload_on"].toString())
            .toStdString();
    };
    EXPECT_EQ(kind(0), "Counter 1|{{ value_json.scaled[0] }}|total_increasing||");
    EXPECT_EQ(kind(15), "Rate 8|{{ value_json.rate[7] }}|measurement|1/s|");
    EXPECT_EQ(kind(16), "Input 1|{{ value_json.di[0] }}|||1");
    EXPECT_EQ(kind(31), "Output 8|{{ value_json.do[7] }}|||1");
}

// The same topics whatever is read or allowed, so a later run's empty payload
// removes a config: the outputs are binary sensors or switches, never both.
TEST(Discovery, OnlyWhatTheRunReadsOrAllowsIsAnnouncedAndTheRestIsWithdrawn) {
    DiscoverySettings flags{"ha", "p", "key", 4};
    flags.counters = false;
    // Station 1 may switch outputs, 2 clear counters (unread outputs give no switch: the
    // commands run).
    flags.allow = {{1, 1u}, {2, 2u}};
    const std::vector<MqttMessage> all = DiscoveryMessages({"ha", "p", "key", 4}, 1),
                                   b = DiscoveryMessages(flags, 1), c = DiscoveryMessages(flags, 2);
    ASSERT_TRUE(b.size() == 49u && c.size() == 49u);
    for (std::size_t i = 0; i < 49; ++i) {
        EXPECT_TRUE(all[i].topic == b[i].topic && b[i].retain && c[i].retain);
        // Counters and rates, inputs, outputs, switches, buttons.
        EXPECT_EQ(b[i].payload.empty(), i < 16 || (i >= 24 && i < 32) || i >= 40) << b[i].topic;
        EXPECT_EQ(c[i].payload.empty(), i < 16 || (i >= 32 && i < 40)) << c[i].topic;
    }
    EXPECT_EQ(b[32].topic, "ha/switch/key_1/output1/config");
    EXPECT_EQ(Json(b[32])["command_topic"].toString(), "p/1/do/1/set");
    EXPECT_EQ(Json(b[32])["value_template"].toString(), "{{ value_json.do[0] }}");
    EXPECT_TRUE(Json(b[32])["state_on"] == "1" && Json(b[32])["payload_on"] == "ON" &&
                Json(b[32])["optimistic"] == false);
    EXPECT_EQ(c[40].topic, "ha/button/key_2/clear_all/config");
    EXPECT_EQ(Json(c[40])["command_topic"].toString(), "p/2/counter/clear");
    EXPECT_EQ(Json(c[48])["command_topic"].toString(), "p/2/counter/8/clear");
    EXPECT_EQ(Json(c[48])["payload_press"].toString(), "PRESS");
}

// One message under the command topics, in the order they arrive: what it asks
// of which station, or why nothing reaches the line.
struct Row {
    std::int64_t ms;  // arrival, monotonic
    const char* topic;
    std::string payload;
    // "do 3 on", "preset 2 =7", "clear 0"... or the refusal.
    std::string expected;
    bool reconnect = false;  // the connection was lost at 2.5 s and is back now
};

std::string shown(const CommandVerdict& v) {
    if (!v.command) return v.refusal;
    const Command& c = *v.command;
    std::string text = std::string(CommandActionName(c.action)) + " " + std::to_string(c.channel);
    if (c.action == CommandAction::Do || c.action == CommandAction::Enable)
        text += c.on ? " on" : " off";
    if (c.action == CommandAction::Preset) text += " =" + std::to_string(c.value);
    return text + " @" + std::to_string(c.station);
}

TEST(CommandGate, TakesOnlyAllowedWellFormedFreshCommandsAtTenASecondAStation) {
    // Station 2 may do everything, 3 only switch outputs.
    CommandGate gate("plant/cab", {2, 3},
                     {{2, 15u}, {3, static_cast<unsigned>(CommandAction::Do)}});
    const std::string n65(65, '1');
    const Row rows[] = {
        {0, "plant/cab/2/do/3/set", "ON", "do 3 on @2", true},
        {0, "plant/cab/3/do/8/set", "OFF", "do 8 off @3"},
        {0, "plant/cab/2/do/set", "ALL_ON", "do 0 on @2"},
        {0, "plant/cab/2/do/set", "ALL_OFF", "do 0 off @2"},
        {0, "plant/cab/2/counter/5/clear", "PRESS", "clear 5 @2"},
        {0, "plant/cab/2/counter/clear", "PRESS", "clear 0 @2"},
        {0, "plant/cab/2/counter/1/preset", "4294967295", "preset 1 =4294967295 @2"},
        {0, "plant/cab/2/counter/8/enable", "OFF", "enable 8 off @2"},
        // Anything else is refused with its reason.
        {0, "plant/cab/2/do/set", "ON", "the payload must be ALL_ON or ALL_OFF"},
        {0, "plant/cab/2/counter/clear", "", "the payload must be PRESS"},
        {0, "plant/cab/2/counter/1/preset", "4294967296",
         "the payload must be a whole number from 0 to 4294967295"},
        {0, "plant/cab/2/counter/1/preset", n65, "the payload is longer than 64 bytes"},
        {0, "plant/cab/2/do/9/set", "ON", "outputs go from 1 to 8"},
        {0, "plant/cab/2/counter/0/clear", "PRESS", "counters go from 1 to 8"},
        {0, "plant/cab/2/do/1/toggle", "ON", "not a command topic"},
        {0, "plant/cab/3/counter/1/clear", "PRESS", "clear is not allowed for station 3"},
        {0, "plant/cab/4/do/1/set", "ON", "station 4 is not polled"},
        {0, "plant/cab/02/do/1/set", "ON", "station 02 is not polled"},
        // Station 2 has had seven in this second, station 3 one: three more for 2, then none.
        {500, "plant/cab/2/do/2/set", "ON", "do 2 on @2"},
        {999, "plant/cab/2/do/2/set", "OFF", "do 2 off @2"},
        {999, "plant/cab/2/do/4/set", "ON", "do 4 on @2"},
        {999, "plant/cab/2/do/2/set", "ON", "too many"},
        {999, "plant/cab/3/do/2/set", "ON", "do 2 on @3"},
        {1000, "plant/cab/2/do/2/set", "ON", "do 2 on @2"},
        // The connection is lost at 2.5 s. Soon after the reconnect, a repeat of
        // what was done shortly before the loss is not done twice; what was done
        // long before, another payload, or the same once 2 s have passed is new.
        {1500, "plant/cab/2/do/2/set", "ON", "do 2 on @2"},
        {1600, "plant/cab/3/do/8/set", "ON", "do 8 on @3"},
        {9000, "plant/cab/2/do/2/set", "ON",
         "a duplicate of the command carried out before the reconnect", true},
        {9100, "plant/cab/3/do/8/set", "OFF", "do 8 off @3"},
        {9100, "plant/cab/2/do/3/set", "ON", "do 3 on @2"},
        {10999, "plant/cab/2/do/2/set", "ON",
         "a duplicate of the command carried out before the reconnect"},
        {11000, "plant/cab/2/do/2/set", "ON", "do 2 on @2"},
    };
    for (const Row& row : rows) {
        const std::int64_t micros = row.ms * 1000;
        if (row.reconnect) {
            gate.ConnectionLost(2'500'000);
            gate.Connected(micros);
        }
        const CommandVerdict v = gate.Judge(row.topic, row.payload, false, micros);
        EXPECT_EQ(shown(v), row.expected) << row.topic << " " << row.payload;
        const std::string station = std::string(row.topic).substr(10);
        EXPECT_EQ(v.resultTopic, "plant/cab/" + station.substr(0, station.find('/')) + "/result");
    }

    // The answer stays valid JSON whatever the payload was.
    const std::string result =
        CommandResult("2026-12-08T10:00:00.000+01:00", "plant/cab/2/do/1/set", "\"\xff\n" + n65,
                      "the payload is longer than 64 bytes");
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(result)).object();
    EXPECT_EQ(json["payload"].toString().size(), 64) << result;
    EXPECT_EQ(json["outcome"].toString(), "the payload is longer than 64 bytes");
    EXPECT_EQ(json["time"].toString(), "2026-12-08T10:00:00.000+01:00");
}

// The broker's side, played by the test: a call the real client would refuse fails.
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
    // The kept values and online again, then what was not acknowledged (every state
    // reaching the broker across a restart: the publishing runs).
    EXPECT_EQ(sent(before)[2], "p/1/state 6");
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
