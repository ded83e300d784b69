// The little the publisher needs of an MQTT client: connect with a last will,
// publish at QoS 1, disconnect, and hear what happened; and the messages
// received on the run's subscriptions.
//
// The library sits behind this interface, so the publisher's queue, back-off
// and drain are tested against a fake, and only the adapter knows the library.
// Every call returns at once; every callback comes on the thread that owns the
// client (the event loop's), never from inside a call.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tally {

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retain = true;
};

// Where and as whom to connect.
struct MqttConnection {
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string caFile;  // with tls: "" trusts the system's certificate store
    std::string user;    // "" logs in with no user name
    std::optional<std::string> password;
    std::string clientId;
    int keepAliveSeconds = 60;
    // Published by the broker when the connection ends without a clean disconnect.
    MqttMessage will;
    // Topic filters subscribed to at QoS 1 on every connection, each one a clean
    // session: what was sent while the program was away is never delivered late.
    std::vector<std::string> subscriptions;
};

class MqttClient {
  public:
    virtual ~MqttClient() = default;

    // Starts one connection attempt; onConnected or onDisconnected follows. The
    // caller decides when to try again.
    virtual void Connect() = 0;
    // Ends the connection cleanly, after what was published before it (the
    // broker does not send the will); onDisconnected("") follows.
    virtual void Disconnect() = 0;
    // Hands the message over at QoS 1 and returns its id, or 0 when there is no
    // connection to send it on. onPublished(id) follows the broker's acknowledgement.
    virtual int Publish(const MqttMessage& message) = 0;

    // The broker accepted the login.
    std::function<void()> onConnected;
    // The attempt failed, the broker refused the login, or the connection was
    // lost: the reason ("" after Disconnect()).
    std::function<void(const std::string& reason)> onDisconnected;
    std::function<void(int id)> onPublished;
    // A message on a subscription, with the retain flag the broker gave it.
    std::function<void(const MqttMessage& message)> onMessage;
};

}  // namespace tally
