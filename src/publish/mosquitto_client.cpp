#include "publish/mosquitto_client.h"

#include <mosquitto.h>

#include <QMetaObject>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

namespace tally {

// What the event loop's thread and the network thread share. Two locks that
// are never held together: `mosqLock` around the library handle, taken by the
// event loop's thread to publish and by the network thread only outside the
// library's calls; `postLock` around the way back to the event loop, taken
// inside the library's callbacks. So no lock order can deadlock with the
// library's own.
struct MosquittoClient::Shared {
    MqttConnection connection;

    std::mutex mosqLock;
    mosquitto* mosq = nullptr;
    std::atomic<bool> connected{false};

    std::mutex postLock;
    QObject* context = nullptr;  // null once the adapter is gone
    MosquittoClient* owner = nullptr;

    std::mutex commandLock;
    std::condition_variable command;
    bool connectWanted = false;
    bool disconnectWanted = false;
    bool quit = false;
    bool done = false;
    std::condition_variable finished;

    // Network thread only.
    std::string refusal;

    void post(std::function<void(MosquittoClient&)> call) {
        std::lock_guard<std::mutex> lock(postLock);
        if (context == nullptr) return;
        MosquittoClient* client = owner;
        QMetaObject::invokeMethod(
            context, [client, call = std::move(call)] { call(*client); }, Qt::QueuedConnection);
    }
};

namespace {

using Shared = MosquittoClient::Shared;

// The library loop's longest wait: how soon the thread notices it is to end.
// Publishing wakes it at once.
constexpr int kLoopWaitMs = 500;

// The library's reason for `rc`, read at once (errno does not keep), without
// the full stop, as the run's lines go on after it.
std::string errorText(int rc) {
    std::string text = rc == MOSQ_ERR_ERRNO
                           ? (errno == 0 ? "the connection was closed" : std::strerror(errno))
                           : mosquitto_strerror(rc);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

void onConnect(mosquitto*, void* data, int rc) {
    auto* shared = static_cast<Shared*>(data);
    if (rc != 0) {
        // The broker's own reason ("not authorised", "bad user name or password").
        std::string reason = mosquitto_connack_string(rc);
        if (!reason.empty() && reason.back() == '.') reason.pop_back();
        shared->refusal = "the broker refused the login: " + reason;
        return;
    }
    shared->connected = true;
    shared->post([](MosquittoClient& c) {
        if (c.onConnected) c.onConnected();
    });
}

void onPublish(mosquitto*, void* data, int id) {
    static_cast<Shared*>(data)->post([id](MosquittoClient& c) {
        if (c.onPublished) c.onPublished(id);
    });
}

// Sets up one connection's handle; returns why it cannot be, or "".
std::string configure(mosquitto* mosq, Shared& shared) {
    const MqttConnection& c = shared.connection;
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Every message goes straight into the send order, so the offline status
    // and the disconnect leave behind all that was handed over before them.
    mosquitto_max_inflight_messages_set(mosq, 0);
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_publish_callback_set(mosq, onPublish);
    int rc = mosquitto_will_set(mosq, c.will.topic.c_str(), static_cast<int>(c.will.payload.size()),
                                c.will.payload.data(), 1, c.will.retain);
    if (rc == MOSQ_ERR_SUCCESS && (!c.user.empty() || c.password)) {
        rc = mosquitto_username_pw_set(mosq, c.user.empty() ? nullptr : c.user.c_str(),
                                       c.password ? c.password->c_str() : nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && c.tls) {
        if (c.caFile.empty()) {
            rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            rc = mosquitto_tls_set(mosq, c.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return rc == MOSQ_ERR_SUCCESS ? std::string() : errorText(rc);
}

// One attempt and, when it succeeds, the connection's whole life. Returns the
// reason it ended ("" after a disconnect asked for).
std::string runConnection(Shared& shared) {
    const MqttConnection& c = shared.connection;
    mosquitto* mosq = mosquitto_new(c.clientId.c_str(), true, &shared);
    if (mosq == nullptr) return std::strerror(errno);
    shared.refusal.clear();
    std::string reason = configure(mosq, shared);
    if (reason.empty()) {
        const int rc = mosquitto_connect(mosq, c.host.c_str(), c.port, c.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) reason = errorText(rc);
    }
    if (!reason.empty()) {
        mosquitto_destroy(mosq);
        return reason;
    }
    {
        std::lock_guard<std::mutex> lock(shared.mosqLock);
        shared.mosq = mosq;
    }
    std::string lost = "closed";
    bool disconnected = false;
    bool disconnectSent = false;
    for (;;) {
        const int rc = mosquitto_loop(mosq, kLoopWaitMs, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            lost = errorText(rc);
            break;
        }
        bool disconnect = false;
        {
            std::lock_guard<std::mutex> lock(shared.commandLock);
            if (shared.quit) break;
            disconnect = shared.disconnectWanted && !disconnectSent;
        }
        if (disconnect) {
            // Here, between two turns of the loop, and written out at once: the
            // library stops taking acknowledgements once asked to disconnect, and
            // one read before the DISCONNECT is written would drop the connection
            // without it, so the broker would send the will after a clean stop.
            disconnectSent = true;
            shared.connected = false;
            mosquitto_disconnect(mosq);
            mosquitto_loop_write(mosq, 1);
        }
    }
    {
        std::lock_guard<std::mutex> lock(shared.mosqLock);
        shared.mosq = nullptr;
        shared.connected = false;
    }
    {
        std::lock_guard<std::mutex> lock(shared.commandLock);
        disconnected = shared.disconnectWanted;
        shared.disconnectWanted = false;
    }
    mosquitto_destroy(mosq);
    if (!shared.refusal.empty()) return shared.refusal;
    if (disconnected) return std::string();
    return lost;
}

void networkThread(std::shared_ptr<Shared> shared) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(shared->commandLock);
            shared->command.wait(lock, [&] { return shared->quit || shared->connectWanted; });
            if (shared->quit) break;
            shared->connectWanted = false;
            shared->disconnectWanted = false;
        }
        const std::string reason = runConnection(*shared);
        shared->post([reason](MosquittoClient& c) {
            if (c.onDisconnected) c.onDisconnected(reason);
        });
    }
    std::lock_guard<std::mutex> lock(shared->commandLock);
    shared->done = true;
    shared->finished.notify_all();
}

}  // namespace

MosquittoClient::MosquittoClient(MqttConnection connection) : shared_(std::make_shared<Shared>()) {
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    shared_->connection = std::move(connection);
    shared_->context = &context_;
    shared_->owner = this;
    std::thread(networkThread, shared_).detach();
}

MosquittoClient::~MosquittoClient() {
    {
        std::lock_guard<std::mutex> lock(shared_->postLock);
        shared_->context = nullptr;
    }
    std::unique_lock<std::mutex> lock(shared_->commandLock);
    shared_->quit = true;
    shared_->command.notify_all();
    // A connect stuck on an unreachable host is not waited for: the thread
    // holds what it needs and ends on its own.
    shared_->finished.wait_for(lock, std::chrono::seconds(2), [this] { return shared_->done; });
}

void MosquittoClient::Connect() {
    std::lock_guard<std::mutex> lock(shared_->commandLock);
    shared_->connectWanted = true;
    shared_->command.notify_all();
}

void MosquittoClient::Disconnect() {
    // The network thread disconnects at its next turn (at most kLoopWaitMs).
    std::lock_guard<std::mutex> lock(shared_->commandLock);
    shared_->disconnectWanted = true;
}

int MosquittoClient::Publish(const MqttMessage& message) {
    std::lock_guard<std::mutex> lock(shared_->mosqLock);
    if (shared_->mosq == nullptr || !shared_->connected) return 0;
    int id = 0;
    const int rc = mosquitto_publish(shared_->mosq, &id, message.topic.c_str(),
                                     static_cast<int>(message.payload.size()),
                                     message.payload.data(), 1, message.retain);
    return rc == MOSQ_ERR_SUCCESS ? id : 0;
}

}  // namespace tally
