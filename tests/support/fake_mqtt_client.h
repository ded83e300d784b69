// An MQTT client for tests: it records what it is asked and lets the test play
// the broker (accept, refuse, drop, acknowledge). It keeps the real client's
// phases, so a call the real one would ignore or refuse fails the test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "publish/mqtt_client.h"

namespace tally {

class FakeMqttClient : public MqttClient {
  public:
    enum class Phase { Idle, Connecting, Connected, Draining };
    struct Sent {
        int id;
        MqttMessage message;
    };

    void Connect() override {
        EXPECT_EQ(phase, Phase::Idle) << "a connect while one is out";
        phase = Phase::Connecting;
        ++connectCalls;
    }
    void Disconnect() override {
        EXPECT_EQ(phase, Phase::Connected) << "a disconnect without a connection";
        phase = Phase::Draining;
        ++disconnectCalls;
    }
    int Publish(const MqttMessage& message) override {
        if (phase != Phase::Connected) return 0;
        sent.push_back({++lastId, message});
        return lastId;
    }

    // The broker's side.
    void Accept() {
        ASSERT_EQ(phase, Phase::Connecting);
        phase = Phase::Connected;
        if (onConnected) onConnected();
    }
    void Drop(const std::string& reason) {
        ASSERT_NE(phase, Phase::Idle);
        phase = Phase::Idle;
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

    Phase phase = Phase::Idle;
    int connectCalls = 0;
    int disconnectCalls = 0;
    int lastId = 0;
    std::size_t acked = 0;
    std::vector<Sent> sent;
};

}  // namespace tally
