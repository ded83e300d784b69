// Commands through a headless run: a dashboard publishes to a mosquitto broker
// started for the test, the run carries them out on the simulated line, and
// every one is answered on its station's result topic.
#include <QJsonArray>

#include "live_window_fixture.h"
#include "mqtt_broker.h"
#include "publish/mosquitto_client.h"

namespace tally::e2e {
namespace {

using testing::MqttBroker;
using testing::MqttSubscriber;

class HeadlessCommandsLive : public LiveWindowTest {
  protected:
    void run(QProcess& program, const QStringList& extra, const QString& login = {}) {
        runHeadless(program,
                    QStringList{"--mqtt-prefix", "test/cab", "--mqtt",
                                "mqtt://" + login + "127.0.0.1:" + QString::number(broker.port)} +
                        extra);
    }
    // mosquitto_pub of one message at QoS 1 (as `login`, "-u name -P password").
    bool publish(const QString& topic, const QString& payload, bool retain = false,
                 const QStringList& login = {}) {
        QProcess pub;
        QStringList args =
            QStringList{"-p", QString::number(broker.port), "-q", "1", "-t", topic, "-m", payload} +
            login;
        if (retain) args << "-r";
        pub.start("mosquitto_pub", args);
        return pub.waitForFinished(5000) && pub.exitCode() == 0;
    }
    // The run answers commands once it has subscribed: a station it does not poll
    // is refused, and that refusal comes back.
    bool commandsTaken(MqttSubscriber& results, const QStringList& login = {}) {
        return WaitUntil(
            [&] {
                publish("test/cab/30/do/1/set", "ON", false, login);
                return WaitUntil([&] { return !results.Payloads("test/cab/30/result").empty(); },
                                 300);
            },
            8000);
    }
    static QJsonObject json(const std::string& payload) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
    }
    // "topic payload: outcome" of each result on `topic`, in order.
    static std::vector<std::string> answers(MqttSubscriber& results, const std::string& topic) {
        std::vector<std::string> said;
        for (const std::string& r : results.Payloads(topic)) {
            const QJsonObject o = json(r);
            said.push_back((o["topic"].toString() + " " + o["payload"].toString() + ": " +
                            o["outcome"].toString())
                               .toStdString());
        }
        return said;
    }
    MqttBroker broker;
};

// Station 1 may do everything, station 2 nothing. The outputs are not polled:
// only the read-back after a write reads them.
TEST_F(HeadlessCommandsLive, AllowedCommandsActAndShowInTheNextStateTheRestAreAnsweredWhy) {
    ASSERT_TRUE(broker.Start());
    startSimulator(1, kStillSeed, {"--station", "1,2"});
    if (HasFatalFailure()) return;
    // Left on the broker by a careless client before the run starts.
    ASSERT_TRUE(publish("test/cab/1/do/1/set", "ON", true));
    MqttSubscriber results(broker.port, "test/cab/+/result"),
        states(broker.port, "test/cab/+/state"), configs(broker.port, "homeassistant/#");
    ASSERT_TRUE(results.Subscribed() && states.Subscribed() && configs.Subscribed());
    QProcess program;
    run(program, {"--protocol", "korvi", "--station", "1,2", "--read", "dc,di", "--allow",
                  "1:do,clear,preset,enable", "--mqtt-discovery"});
    ASSERT_TRUE(commandsTaken(results));
    const auto answered = [&](std::size_t n) {
        return WaitUntil([&] { return results.Payloads("test/cab/1/result").size() == n; }, 3000);
    };

    const std::size_t before = states.Payloads("test/cab/1/state").size();
    ASSERT_TRUE(publish("test/cab/1/do/3/set", "ON"));
    ASSERT_TRUE(answered(2));
    EXPECT_EQ(simText("outputs"), "00100000");
    // The state message that takes in the read-back: the one in hand when the
    // command came or the next.
    ASSERT_TRUE(
        WaitUntil([&] { return states.Payloads("test/cab/1/state").size() >= before + 2; }, 4000));
    const std::vector<std::string> after = states.Payloads("test/cab/1/state");
    const QJsonArray outputs{0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_TRUE(json(after[before])["do"].toArray() == outputs ||
                json(after[before + 1])["do"].toArray() == outputs);

    ASSERT_TRUE(publish("test/cab/1/do/set", "ALL_ON"));
    ASSERT_TRUE(publish("test/cab/1/counter/5/preset", "12345"));
    ASSERT_TRUE(publish("test/cab/1/counter/2/enable", "OFF"));
    ASSERT_TRUE(answered(5));
    EXPECT_EQ(simText("outputs"), "11111111");
    EXPECT_EQ(simCounters()[4], 12345.0);
    EXPECT_EQ(simText("enable"), "10111111") << "the other flags as the module had them";
    ASSERT_TRUE(publish("test/cab/1/counter/clear", "PRESS"));
    ASSERT_TRUE(answered(6));
    EXPECT_EQ(simCounters()[4], 0.0);

    // What is not allowed, well formed or fresh writes nothing.
    const qint64 writes = sim.Count("writes");
    const std::pair<QString, QString> refused[] = {{"2/counter/1/clear", "PRESS"},
                                                   {"2/do/1/set", "ON"},
                                                   {"1/do/1/set", "on"},
                                                   {"1/do/1/set", "on"},
                                                   {"1/do/2/set", "ON"}};
    for (const auto& [topic, payload] : refused)
        ASSERT_TRUE(publish("test/cab/" + topic, payload, topic == "1/do/2/set"));
    ASSERT_TRUE(answered(9));
    const std::string retained = "retained: a command left on the broker is never carried out";
    EXPECT_EQ(
        answers(results, "test/cab/1/result"),
        (std::vector<std::string>{
            "test/cab/1/do/1/set ON: " + retained, "test/cab/1/do/3/set ON: Write OK",
            "test/cab/1/do/set ALL_ON: Write OK", "test/cab/1/counter/5/preset 12345: Write OK",
            "test/cab/1/counter/2/enable OFF: Write OK", "test/cab/1/counter/clear PRESS: Write OK",
            "test/cab/1/do/1/set on: the payload must be ON or OFF",
            "test/cab/1/do/1/set on: the payload must be ON or OFF",
            "test/cab/1/do/2/set ON: " + retained}));
    EXPECT_EQ(answers(results, "test/cab/2/result"),
              (std::vector<std::string>{
                  "test/cab/2/counter/1/clear PRESS: clear is not allowed for station 2",
                  "test/cab/2/do/1/set ON: do is not allowed for station 2"}));
    EXPECT_EQ(sim.Count("writes"), writes);
    program.terminate();
    const QString said = Finished(program);
    // The audit trail: one line a command, with its time; each cause of a refusal
    // once, however often it came (the 4 causes and the refused station 30).
    EXPECT_EQ(said.count(QRegularExpression("\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d "
                                            "command test/cab/1/\\S+ \\S+: Write OK\n")),
              5)
        << said.toStdString();
    EXPECT_EQ(said.count(" refused test/cab/"), 5) << said.toStdString();
    // The answers are no state messages.
    const auto delivered = QRegularExpression("(\\d+) state messages delivered").match(said);
    ASSERT_TRUE(delivered.hasMatch()) << said.toStdString();
    EXPECT_TRUE(WaitUntil(
        [&] { return states.Messages().size() == delivered.captured(1).toULongLong(); }, 3000))
        << states.Messages().size() << " received, " << delivered.captured(1).toStdString();

    // Home Assistant is told what is read and what each station may do: buttons
    // for station 1 only, and no outputs, which are not polled.
    std::map<std::string, int> announced;
    for (const auto& m : configs.Messages()) {
        const QStringList levels = QString::fromStdString(m.topic).split('/');
        if (!m.payload.empty()) ++announced[(levels[1] + " " + levels[2].right(1)).toStdString()];
    }
    EXPECT_EQ(announced, (std::map<std::string, int>{{"binary_sensor 1", 8},
                                                     {"binary_sensor 2", 8},
                                                     {"button 1", 9},
                                                     {"sensor 1", 16},
                                                     {"sensor 2", 16}}));
}

// The README's access list: the collector publishes its own topics and reads its
// command topics; only the dashboard may publish commands; anonymous clients only
// read. The dashboard hands twenty commands for eight stations over at once.
TEST_F(HeadlessCommandsLive, ABurstForEightStationsKeepsEachStationsOrderAndOnlyTheDashboardActs) {
    ASSERT_TRUE(broker.Start("collector:secret dashboard:secret", 0,
                             "topic read test/cab/#\n"
                             "user collector\ntopic write test/cab/status\n"
                             "topic write test/cab/+/state\ntopic write test/cab/+/status\n"
                             "topic write test/cab/+/result\ntopic read test/cab/+/do/#\n"
                             "topic read test/cab/+/counter/#\n"
                             "user dashboard\ntopic read test/cab/#\n"
                             "topic write test/cab/+/do/+/set\ntopic write test/cab/+/do/set\n"
                             "topic write test/cab/+/counter/#\n"));
    startSimulator(1, kStillSeed, {"--station", "1-8"});
    if (HasFatalFailure()) return;
    MqttSubscriber results(broker.port, "test/cab/+/result");
    ASSERT_TRUE(results.Subscribed());
    QProcess program;
    run(program, {"--station", "1-8", "--allow", "1-8:do"}, "collector:secret@");
    ASSERT_TRUE(commandsTaken(results, {"-u", "dashboard", "-P", "secret"}));
    // Anonymous: the broker takes the message and passes it to nobody.
    ASSERT_TRUE(publish("test/cab/1/do/2/set", "ON"));

    MqttConnection c;
    c.host = "127.0.0.1";
    c.port = broker.port;
    c.clientId = "dashboard";
    c.user = "dashboard";
    c.password = "secret";
    c.will = {"test/cab/dashboard/do/set", "gone",
              false};  // the broker refuses one it may not write
    MosquittoClient dashboard(c);
    bool connected = false;
    dashboard.onConnected = [&] { connected = true; };
    dashboard.Connect();
    ASSERT_TRUE(WaitUntil([&] { return connected; }, 5000));
    // Stations 1-4 output 1 on, off, on; stations 5-8 output 2 on, off.
    std::map<int, std::vector<std::string>> sent;
    for (int round = 0; round < 3; ++round) {
        for (int station = 1; station <= 8; ++station) {
            if (station > 4 && round == 2) continue;
            const std::string topic = "test/cab/" + std::to_string(station) + "/do/" +
                                      (station <= 4 ? "1" : "2") + "/set";
            const std::string payload = round == 1 ? "OFF" : "ON";
            ASSERT_GT(dashboard.Publish({topic, payload, false}), 0);
            sent[station].push_back(topic + " " + payload + ": Write OK");
        }
    }
    const auto answered = [&] {
        return results.Messages().size() - results.Payloads("test/cab/30/result").size();
    };
    ASSERT_TRUE(WaitUntil([&] { return answered() == 20; }, 10000));
    for (int station = 1; station <= 8; ++station) {
        EXPECT_EQ(answers(results, "test/cab/" + std::to_string(station) + "/result"),
                  sent[station]);
        EXPECT_EQ(sim.Stats()["stations"][QString::number(station)]["state"]["outputs"].toString(),
                  station <= 4 ? "10000000" : "00000000")
            << station;
    }
    EXPECT_EQ(sim.Count("writes"), 20);
    program.terminate();
    Finished(program);
}

}  // namespace
}  // namespace tally::e2e
