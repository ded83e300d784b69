// The client on libmosquitto against a real broker: a backlog handed over at
// once, its acknowledgements, and a disconnect that follows it.
#include <algorithm>

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

}  // namespace
}  // namespace tally::e2e
