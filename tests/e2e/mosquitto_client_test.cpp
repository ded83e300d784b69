// The client on libmosquitto against a real broker: a backlog handed over at
// once, its acknowledgements, a disconnect that follows it, and the cause a
// failed connection names.
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
    ASSERT_TRUE(watch.Subscribed());

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
