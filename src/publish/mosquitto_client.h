// The MQTT client on libmosquitto.
//
// All network work (name lookup, TCP and TLS set-up, every call into the
// library) runs on a thread of the adapter's own; the event loop's thread only
// leaves messages for it, which never waits on the network. What the library
// reports comes back to the event loop's thread as queued calls, so the
// publisher and the poll engine see one thread. While messages flow steadily
// the network thread works in turns a quarter of a second apart, each sending
// what was left since the last and taking the acknowledgements that came
// meanwhile, rather than waking for each message and each acknowledgement.
#pragma once

#include <QObject>
#include <memory>

#include "publish/mqtt_client.h"

namespace tally {

class MosquittoClient : public MqttClient {
  public:
    // Create on the thread whose event loop is to get the callbacks.
    explicit MosquittoClient(MqttConnection connection);
    // Ends the network thread: an open connection is dropped without a
    // disconnect, as if the program had died, so the broker sends the will.
    ~MosquittoClient() override;

    void Connect() override;
    void Disconnect() override;
    int Publish(const MqttMessage& message) override;

    struct Shared;

  private:
    QObject context_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace tally
