// The client on libmosquitto against a real broker: a backlog handed over at
// once, its acknowledgements, a disconnect that follows it, the messages of
// its subscriptions, and the cause a failed connection names.
#include <algorithm>
#include <memory>

#include "live_window_fixture.h"
#include "mqtt_broker.h"
#include "publish/mosquitto_client.h"

namespace tally::e2e {
namespace {

using testing::MqttBroker;
using testing::MqttSubscriber;

TEST(MosquittoClientLive, ABacklogIsAcknowledgedIdByIdAndTheDisconnectAfterItLeavesNoWill) {
    MqttBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber watch(broker.port, "t/#");
    ASSERT_TRUE(WaitUntil([&] { return watch.Subscribed(); }, 3000));

    MqttConnection connection;
    connection.host = "127.0.0.1";
    connection.port = broker.port;
    connection.clientId = "client-test";
    connection.will = {"t/status", "offline", false};
    MosquittoClient client(connection);
    int connects = 0;
    std::vector<std::string> ends;
    std::vector<int> acked;
    client.onConnected = [&] { ++connects; };
    client.onDisconnected = [&](const std::string& reason) { ends.push_back(reason); };
    client.onPublished = [&](int id) { acked.push_back(id); };

    // Two connections: the second one's ids go on from the first's, while the
    // library numbers each connection's messages from 1 again.
    std::vector<int> ids;
    int sent = 0;
    for (const int count : {10, 600}) {
        client.Connect();
        ASSERT_TRUE(WaitUntil([&] { return connects == static_cast<int>(ends.size()) + 1; }, 5000));
        for (int i = 0; i < count; ++i, ++sent)
            ids.push_back(client.Publish({"t/n", std::to_string(sent), false}));
        client.Publish({"t/status", "bye", false});
        client.Disconnect();
        ASSERT_TRUE(
            WaitUntil([&] { return ends.size() == static_cast<std::size_t>(connects); }, 10000));
        EXPECT_EQ(ends.back(), "");
    }
    EXPECT_EQ(client.Publish({"t/n", "late", false}), 0) << "no connection, no id";

    // Every id once, whatever the order the acknowledgements came in.
    ASSERT_EQ(std::count(ids.begin(), ids.end(), 0), 0);
    std::vector<int> ackedStates;
    std::copy_if(acked.begin(), acked.end(), std::back_inserter(ackedStates),
                 [&](int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); });
    std::sort(ackedStates.begin(), ackedStates.end());
    std::vector<int> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(ackedStates, sorted);

    // Everything in the order handed over, and the broker never sent the will.
    ASSERT_TRUE(WaitUntil([&] { return watch.Payloads("t/n").size() == ids.size(); }, 5000));
    const std::vector<std::string> payloads = watch.Payloads("t/n");
    for (int i = 0; i < sent; ++i)
        ASSERT_EQ(payloads[static_cast<std::size_t>(i)], std::to_string(i));
    WaitUntil([&] { return watch.Payloads("t/status").size() > 2; }, 500);
    EXPECT_EQ(watch.Payloads("t/status"), (std::vector<std::string>{"bye", "bye"}));
}

// mosquitto_pub of one message at QoS 1; true once the broker has it.
bool PublishOne(int port, const QString& topic, const QString& payload, bool retain) {
    QProcess pub;
    QStringList args{"-p", QString::number(port), "-q", "1", "-t", topic, "-m", payload};
    if (retain) args << "-r";
    pub.start("mosquitto_pub", args);
    return pub.waitForFinished(5000) && pub.exitCode() == 0;
}

TEST(MosquittoClientLive, SubscriptionsTellRetainedFromLiveAndNothingSentWhileAwayComesLate) {
    MqttBroker broker;
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(PublishOne(broker.port, "c/1/do/1/set", "left", true));
    MqttConnection connection;
    connection.host = "127.0.0.1";
    connection.port = broker.port;
    connection.clientId = "commands-test";
    connection.will = {"c/status", "offline", false};
    connection.subscriptions = {"c/+/do/#"};
    MosquittoClient client(connection);
    std::vector<MqttMessage> got;
    int connects = 0, ends = 0;
    client.onConnected = [&] { ++connects; };
    client.onDisconnected = [&](const std::string&) { ++ends; };
    client.onMessage = [&](const MqttMessage& m) { got.push_back(m); };

    const auto arrived = [&](std::size_t count) {
        return WaitUntil([&] { return got.size() >= count; }, 3000);
    };
    client.Connect();
    ASSERT_TRUE(WaitUntil([&] { return connects == 1; }, 5000));
    // Left on the broker, found by the subscription: flagged.
    ASSERT_TRUE(arrived(1));
    // Live, the flag as it was published.
    ASSERT_TRUE(PublishOne(broker.port, "c/2/do/set", "ALL_ON", false));
    ASSERT_TRUE(arrived(2));
    ASSERT_TRUE(PublishOne(broker.port, "c/3/do/1/set", "ON", true));
    ASSERT_TRUE(arrived(3));
    client.Disconnect();
    ASSERT_TRUE(WaitUntil([&] { return ends == 1; }, 5000));
    // Sent while the client is away: the clean session keeps nothing for it.
    ASSERT_TRUE(PublishOne(broker.port, "c/4/do/2/set", "OFF", false));
    client.Connect();
    ASSERT_TRUE(WaitUntil([&] { return connects == 2; }, 5000));
    ASSERT_TRUE(arrived(5));
    WaitUntil([] { return false; }, 300);
    std::vector<std::string> seen;
    for (const MqttMessage& m : got)
        seen.push_back(m.topic + " " + m.payload + (m.retain ? " retained" : ""));
    EXPECT_EQ(seen,
              (std::vector<std::string>{"c/1/do/1/set left retained", "c/2/do/set ALL_ON",
                                        "c/3/do/1/set ON retained", "c/1/do/1/set left retained",
                                        "c/3/do/1/set ON retained"}));
}

TEST(MosquittoClientLive, AConnectionThatCannotBeMadeSaysWhy) {
    MqttBroker broker;
    const int tlsPort = testing::FreeLocalPort();
    ASSERT_TRUE(broker.Start({}, tlsPort));
    ASSERT_TRUE(broker.MakeCertificate("other-key.pem", "other.pem"));
    const auto file = [&](const char* name) { return broker.dir.filePath(name).toStdString(); };
    // A broker that takes the connection and never answers: a listening socket
    // nobody reads (the system completes the handshake).
    const testing::LocalSocket silent;
    ASSERT_EQ(::listen(silent.fd, 4), 0);

    struct Case {
        std::string host;
        int port;
        bool tls;
        std::string caFile;
        std::string reason;
    };
    const Case cases[] = {
        {"127.0.0.1", tlsPort, true, file("other.pem"),
         "the broker's certificate is not trusted by the authority in " + file("other.pem")},
        {"127.0.0.1", tlsPort, true, "",
         "the broker's certificate is not trusted by the system's certificate store"},
        {"localhost", tlsPort, true, file("cert.pem"),
         "the broker's certificate does not match the host name localhost"},
        // The key where the certificate belongs.
        {"127.0.0.1", tlsPort, true, file("key.pem"),
         "the CA file " + file("key.pem") + " holds no certificate"},
        {"127.0.0.1", silent.port, false, "",
         "the broker took the connection but did not answer within the keep-alive (5 s)"},
        {"127.0.0.1", tlsPort, true, file("cert.pem"), "connected"},
    };
    std::vector<std::unique_ptr<MosquittoClient>> clients;
    std::vector<std::string> said(std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        MqttConnection c;
        c.host = cases[i].host;
        c.port = cases[i].port;
        c.tls = cases[i].tls;
        c.caFile = cases[i].caFile;
        c.clientId = "why-" + std::to_string(i);
        c.keepAliveSeconds = 5;
        c.will = {"t/status", "offline", false};
        clients.push_back(std::make_unique<MosquittoClient>(c));
        clients.back()->onConnected = [&said, i] { said[i] = "connected"; };
        clients.back()->onDisconnected = [&said, i](const std::string& why) { said[i] = why; };
        clients.back()->Connect();
    }
    const auto allSaid = [&] {
        return std::none_of(said.begin(), said.end(), [](auto& s) { return s.empty(); });
    };
    EXPECT_TRUE(WaitUntil(allSaid, 12000));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(said[i], cases[i].reason) << cases[i].host << ":" << cases[i].port;
}

}  // namespace
}  // namespace tally::e2e
