// Headless runs publishing to, and taking commands from, a broker started for the
// test, against the simulated module; and the MQTT client alone against the broker.
#include <QDir>
#include <QJsonArray>
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "app/options/mqtt_options.h"
#include "live_window_fixture.h"
#include "mqtt_broker.h"
#include "publish/mosquitto_client.h"

namespace tally::e2e {
namespace {

using testing::MqttBroker;
using testing::MqttSubscriber;

// A connection to `host`:`port` with a will on `willTopic`.
MqttConnection Connection(const std::string& host, int port, const std::string& clientId,
                          const std::string& willTopic = "t/status") {
    MqttConnection c;
    c.host = host;
    c.port = port;
    c.clientId = clientId;
    c.will = {willTopic, "offline", false};
    return c;
}

class HeadlessPublishLive : public LiveWindowTest {
  protected:
    // `login`: "name:password@".
    void run(QProcess& program, const QStringList& extra, const QString& login = {}) {
        runHeadless(program,
                    QStringList{"--mqtt-prefix", "test/cab", "--mqtt",
                                "mqtt://" + login + "127.0.0.1:" + QString::number(broker.port)} +
                        extra);
    }
    static int rows(const QString& csv) { return static_cast<int>(CsvRows(csv).size()) - 1; }
    // Each CSV row as its state message, by station: empty cells null, numbers as text.
    std::map<QString, std::vector<std::string>> statesOf(const QString& csv) {
        std::map<QString, std::vector<std::string>> states;
        for (QStringList cells : CsvRows(csv).mid(1)) {
            const QString time = cells.takeFirst(), station = cells.takeFirst(),
                          protocol = cells.takeFirst();
            QString json = "{\"time\":\"" + time + "\",\"station\":" + station +
                           ",\"protocol\":\"" + protocol + "\"";
            for (const char* name : {"raw", "scaled", "rate", "di", "do"}) {
                QStringList group = cells.mid(0, 8);
                cells = cells.mid(8);
                for (QString& cell : group)
                    if (cell.isEmpty()) cell = "null";
                json += QStringLiteral(",\"%1\":[%2]").arg(QLatin1String(name), group.join(','));
            }
            states[station].push_back((json + "}").toStdString());
        }
        return states;
    }
    static QJsonObject json(const std::string& payload) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
    }
    // The payloads on `topic` in order, each reading once: QoS 1 may repeat what was on
    // the wire when the broker went.
    static std::vector<std::string> readings(MqttSubscriber& live, const std::string& topic) {
        std::vector<std::string> firsts;
        for (const std::string& state : live.Payloads(topic))
            if (firsts.empty() ||
                json(state)["time"].toString() > json(firsts.back())["time"].toString())
                firsts.push_back(state);
        return firsts;
    }
    // Each station's states arrive as its CSV rows say, in order.
    void expectStatesAsCsv(MqttSubscriber& live, const QString& csv) {
        for (const auto& [station, expected] : statesOf(csv)) {
            const std::string topic = "test/cab/" + station.toStdString() + "/state";
            EXPECT_TRUE(WaitUntil([&] { return readings(live, topic) == expected; }, 3000))
                << topic << ": " << readings(live, topic).size() << " of " << expected.size();
        }
    }
    // The "expire_after" of each discovery config received on `topic`, in order.
    static std::vector<int> expiries(MqttSubscriber& subscriber, const std::string& topic) {
        std::vector<int> seconds;
        for (const std::string& config : subscriber.Payloads(topic))
            seconds.push_back(json(config)["expire_after"].toInt());
        return seconds;
    }
    MqttBroker broker;
};

// Beside it a second line on the same machine, its port of the same name in another
// folder, under the same prefix: neither takes the other's connection over, and
// each is a discovery device of its own.
TEST_F(HeadlessPublishLive, EachStationsCycleArrivesRetainedAsItsCsvRowSaysBesideAnotherLine) {
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(startSimulator(1, kMovingSeed, {"--station", "1,2"}));
    SimulatorProcess lineB;
    ASSERT_TRUE(QDir(dir.path()).mkpath("lineB"));
    ASSERT_EQ(lineB.Start(dir.filePath("lineB"), {"--station", "7", "--seed", "8"}), QString());
    MqttSubscriber live(broker.port, "#");
    ASSERT_TRUE(live.Subscribed());
    QProcess program, other;  // station 3 is absent
    run(program, {"--station", "1,2,3", "--csv", dir.filePath("run.csv"), "--mqtt-discovery",
                  "--cycles", "3"});
    run(other, {"--port", dir.filePath("lineB/COM1"), "--station", "7", "--mqtt-discovery",
                "--cycles", "3"});
    const QString said = Finished(program), otherSaid = Finished(other);
    // The absent station costs one read a cycle and is reported lost once; the others never.
    EXPECT_EQ(said.count(QStringLiteral(" lost")), 1) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("station 3 lost"))) << said.toStdString();
    EXPECT_EQ(sim.Count("other_station"), 3);
    for (const QString& run : {said, otherSaid}) {
        EXPECT_EQ(run.count("MQTT: connected to"), 1) << run.toStdString();
        EXPECT_FALSE(run.contains("lost the connection")) << run.toStdString();
    }

    // The last messages of the runs are their offlines.
    ASSERT_TRUE(WaitUntil([&] { return live.Payloads("test/cab/status").size() == 4; }, 3000));
    ASSERT_EQ(rows(dir.filePath("run.csv")), 6);
    expectStatesAsCsv(live, dir.filePath("run.csv"));
    std::map<QString, std::vector<std::string>> states = statesOf(dir.filePath("run.csv"));
    EXPECT_EQ(live.Payloads("test/cab/7/state").size(), 3u);
    EXPECT_EQ(live.Payloads("test/cab/status"),
              (std::vector<std::string>{"online", "online", "offline", "offline"}));
    EXPECT_EQ(live.Payloads("test/cab/1/status"), std::vector<std::string>{"online"});
    EXPECT_EQ(live.Payloads("test/cab/3/status"), std::vector<std::string>{"offline"});
    // Discovery: homeassistant/<component>/<collector>_<station>/<entity>/config.
    std::set<QString> collectors;
    for (const auto& m : live.Messages())
        if (m.topic.rfind("homeassistant/", 0) == 0)
            collectors.insert(
                QString::fromStdString(m.topic).section('/', 2, 2).section('_', 0, -2));
    EXPECT_EQ(collectors.size(), 2u);

    // A dashboard that comes later gets the last states and the statuses at once.
    MqttSubscriber late(broker.port, "test/cab/#");
    ASSERT_TRUE(WaitUntil([&] { return late.Messages().size() == 8; }, 3000));
    for (const auto& m : late.Messages())
        EXPECT_TRUE(m.retain && (m.topic != "test/cab/2/state" || m.payload == states["2"].back()));
}

TEST_F(HeadlessPublishLive, ValuesAreHeldForThreeCyclesOfWhatTheLineCarriesNotOfTheInterval) {
    ASSERT_TRUE(broker.Start());
    // Eight stations in Modbus ASCII at 4800 baud: 216 characters a station on
    // the line (counters 17 + 139, inputs and outputs 17 + 13 each), 3.6 s a
    // cycle, which the announcement takes up as 4 s.
    ASSERT_TRUE(startSimulator(1, kMovingSeed, {"--station", "1-8"}));
    MqttSubscriber live(broker.port, "homeassistant/sensor/+/counter1/config"),
        status(broker.port, "test/cab/status");
    ASSERT_TRUE(live.Subscribed() && status.Subscribed());
    QProcess slowLine;
    run(slowLine,
        {"--station", "1-8", "--protocol", "ascii", "--baud", "4800", "--mqtt-discovery"});
    ASSERT_TRUE(WaitUntil([&] { return live.Messages().size() == 8; }, 5000));
    for (const auto& m : live.Messages())
        EXPECT_EQ(expiries(live, m.topic), std::vector<int>{12}) << m.topic;
    // Killed, the run is shown offline by its will. Its "online" follows the configs.
    ASSERT_TRUE(WaitUntil([&] { return !status.Payloads("test/cab/status").empty(); }, 5000));
    slowLine.kill();
    ASSERT_TRUE(slowLine.waitForFinished(15000));
    WaitUntil([&] { return status.Payloads("test/cab/status").size() == 2; }, 5000);
    EXPECT_EQ(status.Payloads("test/cab/status"), (std::vector<std::string>{"online", "offline"}));
}

// Slow replies the line's own time does not foresee: the states go on over TLS
// across a broker restart, and once the readings come further apart than
// announced, the announcement follows them. Then the port fails in the middle of
// station 2's reads.
TEST_F(HeadlessPublishLive, SlowRepliesOverTlsAcrossARestartStretchTheHoldUpToAPortFailure) {
    const int tlsPort = testing::FreeLocalPort();
    ASSERT_TRUE(broker.Start({}, tlsPort));
    MqttSubscriber live(broker.port, "test/cab/+/state"),
        configs(broker.port, "homeassistant/sensor/+/counter1/config");
    ASSERT_TRUE(live.Subscribed() && configs.Subscribed());
    ASSERT_TRUE(startSimulator(1, kMovingSeed, {"--station", "1-3", "--delay", "200"}));
    const QString csv = dir.filePath("run.csv");
    QProcess program;
    run(program, {"--station", "1-3", "--csv", csv, "--mqtt-discovery", "--mqtt-ca",
                  broker.dir.filePath("cert.pem"), "--mqtt",
                  "mqtts://127.0.0.1:" + QString::number(tlsPort)});
    ASSERT_TRUE(WaitUntil([&] { return live.Messages().size() >= 3; }, 8000));
    broker.Stop();
    const int rowsAtStop = rows(csv);
    ASSERT_TRUE(WaitUntil([&] { return rows(csv) >= rowsAtStop + 3; }, 5000))
        << "polling goes on without the broker";
    ASSERT_TRUE(broker.Restart());
    std::string topic;  // station 1, counter 1
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& m : configs.Messages())
                if (m.topic.find("_1/counter1/") != m.topic.npos) topic = m.topic;
            return live.Messages().size() >= rowsAtStop + 6u && !topic.empty() &&
                   expiries(configs, topic).back() > 3;
        },
        10000));
    // Nine requests a cycle: the fifth is station 2's second read.
    ASSERT_TRUE(WaitUntil([&] { return sim.Count("requests") % 9 == 5; }, 8000));
    stopSimulator();
    Finished(program, 3);
    const std::vector<int> announced = expiries(configs, topic);
    EXPECT_EQ(announced.front(), 3) << "the interval: the line alone takes 0.1 s a cycle";
    const std::vector<std::string> times = readings(live, "test/cab/1/state");
    const auto at = [&](std::size_t i) {
        return QDateTime::fromString(json(times[i])["time"].toString(), Qt::ISODateWithMs);
    };
    const double apart = at(0).msecsTo(at(1)) / 1000.0;
    EXPECT_GT(apart, 1.5);
    EXPECT_GE(announced.back(), 2 * apart) << "a value is held well past the next reading";

    // The failed port cuts the cycle: station 2's last row lacks its outputs.
    const std::map<QString, std::vector<std::string>> states = statesOf(csv);
    ASSERT_EQ(states.count("2"), 1u);
    EXPECT_TRUE(QString::fromStdString(states.at("2").back())
                    .endsWith("\"do\":[null,null,null,null,null,null,null,null]}"));
    expectStatesAsCsv(live, csv);
}

// Commands: a dashboard publishes to the broker, the run carries them out on the
// simulated line, and every one is answered on its station's result topic.
class HeadlessCommandsLive : public HeadlessPublishLive {
  protected:
    // mosquitto_pub of one message at QoS 1, as the dashboard unless `login` says otherwise.
    bool publish(const QString& topic, const QString& payload, bool retain = false,
                 const QStringList& login = {"-u", "dashboard", "-P", "secret"}) {
        QProcess pub;
        QStringList args =
            QStringList{"-p", QString::number(broker.port), "-q", "1", "-t", topic, "-m", payload} +
            login;
        if (retain) args << "-r";
        pub.start("mosquitto_pub", args);
        return pub.waitForFinished(5000) && pub.exitCode() == 0;
    }
    // Once subscribed, the run refuses a station it does not poll, and says so.
    bool commandsTaken(MqttSubscriber& results) {
        return WaitUntil(
            [&] {
                publish("test/cab/30/do/1/set", "ON");
                return WaitUntil([&] { return !results.Payloads("test/cab/30/result").empty(); },
                                 300);
            },
            8000);
    }
    // "topic payload: outcome" of each result on `topic`, after "test/cab/".
    static std::vector<std::string> answers(MqttSubscriber& results, const std::string& topic) {
        std::vector<std::string> said;
        for (const std::string& r : results.Payloads(topic)) {
            const QJsonObject o = json(r);
            said.push_back(QString(o["topic"].toString().mid(9) + " " + o["payload"].toString() +
                                   ": " + o["outcome"].toString())
                               .toStdString());
        }
        return said;
    }
};

// Under the README's access list (anonymous clients only read). Station 1 may do
// everything, 2 nothing, 3-8 switch outputs; only the read-back after a write reads them.
TEST_F(HeadlessCommandsLive, AllowedCommandsActInOrderAndShowInTheNextStateTheRestAreAnsweredWhy) {
    ASSERT_TRUE(broker.Start("collector:secret dashboard:secret", 0,
                             "topic read test/cab/#\ntopic read homeassistant/#\n"
                             "user collector\ntopic write test/cab/status\n"
                             "topic write test/cab/+/state\ntopic write test/cab/+/status\n"
                             "topic write test/cab/+/result\ntopic read test/cab/+/do/#\n"
                             "topic read test/cab/+/counter/#\ntopic write homeassistant/#\n"
                             "user dashboard\ntopic read test/cab/#\n"
                             "topic write test/cab/+/do/+/set\ntopic write test/cab/+/do/set\n"
                             "topic write test/cab/+/counter/#\n"));
    ASSERT_TRUE(startSimulator(1, kStillSeed, {"--station", "1-8"}));
    // Left on the broker by a careless client before the run starts.
    ASSERT_TRUE(publish("test/cab/1/do/1/set", "ON", true));
    MqttSubscriber results(broker.port, "test/cab/+/result"),
        states(broker.port, "test/cab/+/state"), configs(broker.port, "homeassistant/#");
    ASSERT_TRUE(results.Subscribed() && states.Subscribed() && configs.Subscribed());
    // The password from the environment, as a service without credentials gives it.
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kMqttPasswordVariable, "secret");
    program.setProcessEnvironment(environment);
    run(program,
        {"--protocol", "korvi", "--station", "1-8", "--read", "dc,di", "--allow",
         "1:do,clear,preset,enable", "--allow", "3-8:do", "--mqtt-discovery"},
        "collector@");
    ASSERT_TRUE(commandsTaken(results));
    // Anonymous: the broker takes the message and passes it to nobody.
    ASSERT_TRUE(publish("test/cab/1/do/2/set", "ON", false, {}));
    const auto answered = [&](std::size_t n) {
        return WaitUntil([&] { return results.Payloads("test/cab/1/result").size() == n; }, 3000);
    };

    const std::size_t before = states.Payloads("test/cab/1/state").size();
    ASSERT_TRUE(publish("test/cab/1/do/3/set", "ON"));
    ASSERT_TRUE(answered(2));
    EXPECT_EQ(simText("outputs"), "00100000");
    // The read-back shows in the state in hand when the command came, or the next.
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
            "1/do/1/set ON: " + retained, "1/do/3/set ON: Write OK", "1/do/set ALL_ON: Write OK",
            "1/counter/5/preset 12345: Write OK", "1/counter/2/enable OFF: Write OK",
            "1/counter/clear PRESS: Write OK", "1/do/1/set on: the payload must be ON or OFF",
            "1/do/1/set on: the payload must be ON or OFF", "1/do/2/set ON: " + retained}));
    EXPECT_EQ(
        answers(results, "test/cab/2/result"),
        (std::vector<std::string>{"2/counter/1/clear PRESS: clear is not allowed for station 2",
                                  "2/do/1/set ON: do is not allowed for station 2"}));
    EXPECT_EQ(sim.Count("writes"), writes);

    // A burst handed over at once by the dashboard's own client (its will on a topic
    // the list lets it write): stations 3-6 output 1 on, off, on; 7-8 output 2 on, off.
    MqttConnection c =
        Connection("127.0.0.1", broker.port, "dashboard", "test/cab/dashboard/do/set");
    c.user = "dashboard";
    c.password = "secret";
    MosquittoClient dashboard(c);
    bool connected = false;
    dashboard.onConnected = [&] { connected = true; };
    dashboard.Connect();
    ASSERT_TRUE(WaitUntil([&] { return connected; }, 5000));
    std::map<int, std::vector<std::string>> sent;
    const std::size_t earlier = results.Messages().size();
    for (int round = 0; round < 3; ++round) {
        for (int station = 3; station <= 8; ++station) {
            if (station > 6 && round == 2) continue;
            const std::string topic = "test/cab/" + std::to_string(station) + "/do/" +
                                      (station <= 6 ? "1" : "2") + "/set";
            const std::string payload = round == 1 ? "OFF" : "ON";
            ASSERT_GT(dashboard.Publish({topic, payload, false}), 0);
            sent[station].push_back(topic.substr(9) + " " + payload + ": Write OK");
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return results.Messages().size() == earlier + 16; }, 10000));
    for (int station = 3; station <= 8; ++station) {
        EXPECT_EQ(answers(results, "test/cab/" + std::to_string(station) + "/result"),
                  sent[station]);
        EXPECT_EQ(sim.Stats()["stations"][QString::number(station)]["state"]["outputs"].toString(),
                  station <= 6 ? "10000000" : "00000000")
            << station;
    }
    EXPECT_EQ(sim.Count("writes"), writes + 16);
    program.terminate();
    const QString said = Finished(program);
    // A timed line a command; each refusal's cause once (4 and the station 30).
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

    // Discovery: buttons for station 1 only, and no outputs, which are not polled.
    std::map<std::string, int> announced, expected{{"button 1", 9}};
    // A slower cycle (the burst) announces a longer hold again: each config's last.
    std::map<std::string, std::string> last;
    for (const auto& m : configs.Messages())
        last[m.topic] = m.payload;
    for (const auto& [topic, payload] : last) {
        const QStringList levels = QString::fromStdString(topic).split('/');
        if (!payload.empty()) ++announced[(levels[1] + " " + levels[2].right(1)).toStdString()];
    }
    for (int station = 1; station <= 8; ++station) {
        expected["binary_sensor " + std::to_string(station)] = 8;
        expected["sensor " + std::to_string(station)] = 16;
    }
    EXPECT_EQ(announced, expected);
}

// The client on libmosquitto: a backlog handed over at once, its acknowledgements,
// a disconnect that follows it, and the cause a failed connection names.
TEST(MosquittoClientLive, ABacklogIsAcknowledgedIdByIdAndTheDisconnectAfterItLeavesNoWill) {
    MqttBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber watch(broker.port, "t/#");
    ASSERT_TRUE(watch.Subscribed());

    MosquittoClient client(Connection("127.0.0.1", broker.port, "client-test"));
    int connects = 0;
    std::vector<std::string> ends;
    std::multiset<int> acked;
    client.onConnected = [&] { ++connects; };
    client.onDisconnected = [&](const std::string& reason) { ends.push_back(reason); };
    client.onPublished = [&](int id) { acked.insert(id); };

    // The second connection's ids go on from the first's; the library's start at 1.
    std::vector<int> ids;
    std::vector<std::string> payloads;
    for (const int count : {10, 600}) {
        client.Connect();
        ASSERT_TRUE(WaitUntil([&] { return connects == static_cast<int>(ends.size()) + 1; }, 5000));
        for (int i = 0; i < count; ++i) {
            payloads.push_back(std::to_string(payloads.size()));
            ids.push_back(client.Publish({"t/n", payloads.back(), false}));
        }
        client.Publish({"t/status", "bye", false});
        client.Disconnect();
        ASSERT_TRUE(
            WaitUntil([&] { return ends.size() == static_cast<std::size_t>(connects); }, 10000));
        EXPECT_EQ(ends.back(), "");
    }
    EXPECT_EQ(client.Publish({"t/n", "late", false}), 0) << "no connection, no id";
    // Every id acknowledged once, whatever the order the acknowledgements came in.
    for (const int id : ids)
        ASSERT_EQ(acked.count(id), 1u) << id;

    // Everything in the order handed over, and the broker never sent the will.
    ASSERT_TRUE(WaitUntil([&] { return watch.Payloads("t/n").size() == ids.size(); }, 5000));
    EXPECT_EQ(watch.Payloads("t/n"), payloads);
    WaitUntil([&] { return watch.Payloads("t/status").size() > 2; }, 500);
    EXPECT_EQ(watch.Payloads("t/status"), (std::vector<std::string>{"bye", "bye"}));
}

TEST(MosquittoClientLive, AConnectionThatCannotBeMadeSaysWhy) {
    MqttBroker broker;
    const int tlsPort = testing::FreeLocalPort();
    ASSERT_TRUE(broker.Start("plant:right", tlsPort));
    const auto file = [&](const char* name) { return broker.dir.filePath(name).toStdString(); };
    // A socket nobody reads: it takes the connection and never answers.
    const testing::LocalSocket silent;
    ASSERT_EQ(::listen(silent.fd, 4), 0);

    // host, port (TLS on tlsPort; the wrong password on the plain one), CA file, what is said
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {"127.0.0.1", tlsPort, "",
         "the broker's certificate is not trusted by the system's certificate store"},
        {"localhost", tlsPort, file("cert.pem"),
         "the broker's certificate does not match the host name localhost"},
        {"127.0.0.1", silent.port, "",
         "the broker took the connection but did not answer within the keep-alive (5 s)"},
        {"127.0.0.1", broker.port, "",
         "the broker refused the login: Connection Refused: not authorised"},
        {"127.0.0.1", tlsPort, file("cert.pem"), "connected"},
    };
    std::vector<std::unique_ptr<MosquittoClient>> clients;
    std::vector<std::string> said(std::size(cases)), reasons;
    for (const auto& [host, port, caFile, reason] : cases) {
        MqttConnection c = Connection(host, port, "why-" + std::to_string(clients.size()));
        c.tls = port == tlsPort;
        c.caFile = caFile;
        c.keepAliveSeconds = 5;
        c.user = "plant";
        c.password = port == broker.port ? "wrong" : "right";
        clients.push_back(std::make_unique<MosquittoClient>(c));
        std::string& mine = said[clients.size() - 1];
        clients.back()->onConnected = [&mine] { mine = "connected"; };
        clients.back()->onDisconnected = [&mine](const std::string& why) { mine = why; };
        clients.back()->Connect();
        reasons.push_back(reason);
    }
    EXPECT_TRUE(WaitUntil(
        [&] { return std::none_of(said.begin(), said.end(), [](auto& s) { return s.empty(); }); },
        12000));
    EXPECT_EQ(said, reasons);
}

}  // namespace
}  // namespace tally::e2e
