// Headless runs of the program publishing to a mosquitto broker started for the
// test, against the simulated module: what arrives, and what the broker says
// when the program stops, dies or is refused.
#include <signal.h>

#include "live_window_fixture.h"
#include "mqtt_broker.h"

namespace tally::e2e {
namespace {

using testing::MqttBroker;
using testing::MqttSubscriber;

const QString kPrefix = QStringLiteral("test/cab");

class HeadlessPublishLive : public LiveWindowTest {
  protected:
    void run(QProcess& program, const QStringList& extra) {
        program.start(QStringLiteral(TALLYSCOPE_PATH),
                      QStringList{"--headless", "--port", dir.filePath(QStringLiteral("COM1")),
                                  "--baud", "19200", "--station", "1", "--protocol", "rtu",
                                  "--every", "1", "--read", "dc,di,do", "--mqtt-prefix", kPrefix} +
                          extra);
        ASSERT_TRUE(program.waitForStarted(5000));
    }
    QString url(const QString& user = {}) const {
        return "mqtt://" + user + (user.isEmpty() ? "" : "@") +
               "127.0.0.1:" + QString::number(broker.port);
    }
    static std::string topic(const char* rest) { return (kPrefix + rest).toStdString(); }

    MqttBroker broker;
};

// The JSON array `name` of a state message as the CSV writes its cells.
QStringList cells(const QJsonObject& state, const char* name) {
    QStringList out;
    for (const QJsonValue& v : state.value(QLatin1String(name)).toArray()) {
        // Exact numbers: the message's text is compared below, this only lines them up.
        out.push_back(v.isNull() ? QString() : QString::number(v.toDouble(), 'f', -1));
    }
    return out;
}

TEST_F(HeadlessPublishLive, EachCycleArrivesRetainedAsTheCsvRowSaysItAndAStopLeavesOffline) {
    ASSERT_TRUE(broker.Start());
    startSimulator(1, kMovingSeed);
    if (HasFatalFailure()) return;
    MqttSubscriber live(broker.port, "#");
    ASSERT_TRUE(live.WaitSubscribed());
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    QProcess program;
    run(program, {"--csv", csv, "--mqtt", url(), "--mqtt-discovery", "--cycles", "3"});
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const std::vector<std::string> states = live.Payloads(topic("/1/state"));
    ASSERT_EQ(states.size(), 3u);
    ASSERT_EQ(lines.size(), 4);
    for (std::size_t i = 0; i < 3; ++i) {
        const QStringList row = lines[static_cast<int>(i) + 1].split(QLatin1Char(','));
        const QByteArray json = QByteArray::fromStdString(states[i]);
        const QJsonObject state = QJsonDocument::fromJson(json).object();
        EXPECT_EQ(state["time"].toString(), row[0]);
        EXPECT_EQ(state["station"].toInt(), 1);
        EXPECT_EQ(state["protocol"].toString(), row[2]);
        // The numbers are the CSV's text: "scaled" keeps its ".0".
        QStringList all;
        for (const char* name : {"raw", "scaled", "rate", "di", "do"})
            all += cells(state, name);
        ASSERT_EQ(all.size(), 40);
        for (int c = 0; c < 40; ++c)
            EXPECT_EQ(all[c].isEmpty(), row[3 + c].isEmpty()) << "column " << c + 3;
        const QString scaled = row.mid(11, 8).join(QLatin1Char(','));
        EXPECT_TRUE(json.contains("\"scaled\":[" + scaled.toLatin1() + "]")) << states[i];
    }
    EXPECT_EQ(live.Payloads(topic("/status")), (std::vector<std::string>{"online", "offline"}));
    EXPECT_EQ(live.Payloads(topic("/1/status")), std::vector<std::string>{"online"});
    std::size_t configs = 0;
    for (const auto& m : live.Messages())
        configs += m.topic.rfind("homeassistant/", 0) == 0 ? 1 : 0;
    EXPECT_EQ(configs, 32u);

    // A dashboard that comes later gets the last state and the statuses at once.
    MqttSubscriber late(broker.port, topic("/#"));
    ASSERT_TRUE(WaitUntil([&] { return late.Messages().size() == 3; }, 3000));
    for (const auto& m : late.Messages()) {
        EXPECT_TRUE(m.retain) << m.topic;
        if (m.topic == topic("/1/state")) {
            EXPECT_EQ(m.payload, states.back());
        }
    }
}

TEST_F(HeadlessPublishLive, ARefusedLoginLeavesPollingGoingAndAKilledProgramIsShownOffline) {
    ASSERT_TRUE(broker.Start({"plant:right"}));
    startSimulator(1, kMovingSeed);
    if (HasFatalFailure()) return;
    MqttSubscriber live(broker.port, topic("/#"));  // anonymous: refused too, so watch the CSV
    const QString csv = dir.filePath(QStringLiteral("refused.csv"));
    QProcess refused;
    run(refused, {"--csv", csv, "--mqtt", url("plant:wrong")});
    ASSERT_TRUE(WaitUntil(
        [&] {
            QFile f(csv);
            return f.open(QIODevice::ReadOnly) && f.readAll().count("\r\n") >= 3;
        },
        10000));
    refused.terminate();
    ASSERT_TRUE(refused.waitForFinished(15000));
    EXPECT_EQ(refused.exitCode(), 0);
    EXPECT_TRUE(refused.readAllStandardError().contains(
        "MQTT: cannot connect to 127.0.0.1:" + QByteArray::number(broker.port) +
        ": the broker refused the login: Connection Refused: not authorised; retrying"));

    // No CSV at all: the broker is the only output. Killed, the broker says offline.
    broker.Stop();
    ASSERT_TRUE(broker.Start());
    MqttSubscriber watch(broker.port, topic("/#"));
    ASSERT_TRUE(watch.WaitSubscribed());
    QProcess killed;
    run(killed, {"--mqtt", url(), "--mqtt-keepalive", "5"});
    ASSERT_TRUE(WaitUntil([&] { return watch.Payloads(topic("/1/state")).size() >= 2; }, 10000));
    ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(5000));
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto status = watch.Payloads(topic("/status"));
            return !status.empty() && status.back() == "offline";
        },
        8000))
        << "the broker publishes the will within the keep-alive";
}

}  // namespace
}  // namespace tally::e2e
