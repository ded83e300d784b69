// An MQTT client for tests: it records what it is asked and lets the test play
// the broker (accept, refuse, drop, acknowledge).
#pragma once

#include <vector>

#include "publish/mqtt_client.h"

namespace tally {

class FakeMqttClient : public MqttClient {
  public:
    struct Sent {
        int id;
        MqttMessage message;
    };

    void Connect() override { ++connectCalls; }
    void Disconnect() override {
        ++disconnectCalls;
        connected = false;
    }
    int Publish(const MqttMessage& message) override {
        if (!connected) return 0;
        sent.push_back({++lastId, message});
        return lastId;
    }

    // The broker's side.
    void Accept() {
        connected = true;
        if (onConnected) onConnected();
    }
    void Drop(const std::string& reason) {
        connected = false;
        if (onDisconnected) onDisconnected(reason);
    }
    void Ack(int id) {
        if (onPublished) onPublished(id);
    }
    // Acknowledges everything sent so far, in order.
    void AckAll() {
        for (; acked < sent.size(); ++acked)
            Ack(sent[acked].id);
    }

    bool connected = false;
    int connectCalls = 0;
    int disconnectCalls = 0;
    int lastId = 0;
    std::size_t acked = 0;
    std::vector<Sent> sent;
};

}  // namespace tally
