// The client on libmosquitto against a real broker: a backlog handed over at
// once, its acknowledgements, a disconnect that follows it, and the cause a
// failed connection names.
#include <algorithm>
#include <memory>
#include <set>

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
    ASSERT_TRUE(watch.Subscribed());

    MqttConnection connection;
    connection.host = "127.0.0.1";
    connection.port = broker.port;
    connection.clientId = "client-test";
    connection.will = {"t/status", "offline", false};
    MosquittoClient client(connection);
    int connects = 0;
    std::vector<std::string> ends;
    std::multiset<int> acked;
    client.onConnected = [&] { ++connects; };
    client.onDisconnected = [&](const std::string& reason) { ends.push_back(reason); };
    client.onPublished = [&](int id) { acked.insert(id); };

    // Two connections: the second one's ids go on from the first's, while the
    // library numbers each connection's messages from 1 again.
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
    ASSERT_TRUE(broker.Start({}, tlsPort));
    ASSERT_TRUE(broker.MakeCertificate("other-key.pem", "other.pem"));
    const auto file = [&](const char* name) { return broker.dir.filePath(name).toStdString(); };
    // A broker that takes the connection and never answers: a listening socket
    // nobody reads (the system completes the handshake).
    const testing::LocalSocket silent;
    ASSERT_EQ(::listen(silent.fd, 4), 0);

    // host, port (TLS on tlsPort), CA file, what is said
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {"127.0.0.1", tlsPort, file("other.pem"),
         "the broker's certificate is not trusted by the authority in " + file("other.pem")},
        {"127.0.0.1", tlsPort, "",
         "the broker's certificate is not trusted by the system's certificate store"},
        {"localhost", tlsPort, file("cert.pem"),
         "the broker's certificate does not match the host name localhost"},
        // The key where the certificate belongs.
        {"127.0.0.1", tlsPort, file("key.pem"),
         "the CA file " + file("key.pem") + " holds no certificate"},
        {"127.0.0.1", silent.port, "",
         "the broker took the connection but did not answer within the keep-alive (5 s)"},
        {"127.0.0.1", tlsPort, file("cert.pem"), "connected"},
    };
    std::vector<std::unique_ptr<MosquittoClient>> clients;
    std::vector<std::string> said(std::size(cases)), reasons;
    for (const auto& [host, port, caFile, reason] : cases) {
        MqttConnection c;
        c.host = host;
        c.port = port;
        c.tls = port == tlsPort;
        c.caFile = caFile;
        c.clientId = "why-" + std::to_string(clients.size());
        c.keepAliveSeconds = 5;
        c.will = {"t/status", "offline", false};
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
