#include "publish/mosquitto_client.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tally {

// What the event loop's thread and the network thread share. Only the network
// thread touches the library handle. The event loop's thread leaves messages
// and commands under `commandLock` and nudges the network thread through
// `nudgeFd` when it is waiting for one; what comes back goes under `postLock`
// as queued calls. The two locks are never held together.
struct MosquittoClient::Shared {
    MqttConnection connection;
    std::atomic<bool> connected{false};

    std::mutex postLock;
    QObject* context = nullptr;  // null once the adapter is gone
    MosquittoClient* owner = nullptr;
    std::vector<int> acked;  // acknowledged ids not yet handed back
    bool ackCallPending = false;

    struct Outgoing {
        int id;
        MqttMessage message;
    };

    std::mutex commandLock;
    std::condition_variable command;
    bool connectWanted = false;
    bool disconnectWanted = false;
    bool quit = false;
    bool done = false;
    std::condition_variable finished;
    std::vector<Outgoing> outbox;  // handed over, not yet given to the library
    int lastId = 0;
    bool nudgeWanted = false;  // the network thread waits for traffic, not for a turn
    int nudgeFd = -1;

    // Network thread only.
    std::string refusal;
    bool answered = false;                   // the broker answered the CONNECT
    std::vector<std::string> libraryErrors;  // what the library logged as errors
    std::unordered_map<int, int> idOfMid;    // the library's message id -> ours
    std::vector<int> turnAcks;               // acknowledged during this turn

    Shared() : nudgeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Shared() {
        if (nudgeFd >= 0) close(nudgeFd);
    }

    // With commandLock held.
    void nudge() {
        const std::uint64_t one = 1;
        if (nudgeFd >= 0 && write(nudgeFd, &one, sizeof one) < 0) {
            // Full counter: the thread is awake already.
        }
    }
    void clearNudges() {
        std::uint64_t count;
        if (nudgeFd >= 0 && read(nudgeFd, &count, sizeof count) < 0) {
            // Nothing was pending.
        }
    }

    void post(std::function<void(MosquittoClient&)> call) {
        std::lock_guard<std::mutex> lock(postLock);
        if (context == nullptr) return;
        MosquittoClient* client = owner;
        QMetaObject::invokeMethod(
            context, [client, call = std::move(call)] { call(*client); }, Qt::QueuedConnection);
    }

    // The acknowledgements of one turn go back in one queued call, and while
    // that call waits, later ones join it.
    void postAcks(std::vector<int>& ids) {
        if (ids.empty()) return;
        std::lock_guard<std::mutex> lock(postLock);
        if (context == nullptr) return;
        acked.insert(acked.end(), ids.begin(), ids.end());
        ids.clear();
        if (ackCallPending) return;
        ackCallPending = true;
        MosquittoClient* client = owner;
        QMetaObject::invokeMethod(
            context,
            [this, client] {
                std::vector<int> ids;
                {
                    std::lock_guard<std::mutex> lock(postLock);
                    ids.swap(acked);
                    ackCallPending = false;
                }
                for (const int id : ids) {
                    if (client->onPublished) client->onPublished(id);
                }
            },
            Qt::QueuedConnection);
    }
};

namespace {

using Shared = MosquittoClient::Shared;

// The longest wait between two turns of the network thread while it waits for
// traffic: the library's keep-alive is kept from here.
constexpr int kIdleWaitMs = 1'000;
// While a few messages are on the wire, the thread turns this often, not at
// each message and acknowledgement: a turn sends all that was handed over since
// the last and takes all acknowledgements that came meanwhile.
constexpr int kTurnMs = 250;
// From this many unacknowledged messages on (a backlog going out after a
// reconnect), the thread answers each acknowledgement at once so the queue
// drains at the pace of the broker, not of the turns.
constexpr std::size_t kBusyInFlight = 16;

// The library's reason for `rc`, read at once (errno does not keep), without
// the full stop, as the run's lines go on after it.
std::string errorText(int rc) {
    std::string text = rc == MOSQ_ERR_ERRNO
                           ? (errno == 0 ? "the connection was closed" : std::strerror(errno))
                           : mosquitto_strerror(rc);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

// The library names a TLS failure's cause only in its log (OpenSSL's error
// queue and its own host name check); its return code says "TLS error".
std::string tlsFailure(const Shared& shared) {
    const MqttConnection& c = shared.connection;
    const auto logged = [&](const char* text) {
        return std::any_of(shared.libraryErrors.begin(), shared.libraryErrors.end(),
                           [&](const std::string& line) { return line.find(text) != line.npos; });
    };
    if (logged("host name verification failed"))
        return "the broker's certificate does not match the host name " + c.host;
    if (logged("certificate verify failed")) {
        return "the broker's certificate is not trusted by " +
               (c.caFile.empty() ? std::string("the system's certificate store")
                                 : "the authority in " + c.caFile);
    }
    if (logged("Unable to load CA certificates"))
        return "the CA file " + c.caFile + " holds no certificate that can be read";
    for (const std::string& line : shared.libraryErrors) {
        if (line.rfind("OpenSSL Error", 0) == 0) return "TLS failed: " + line;
    }
    return errorText(MOSQ_ERR_TLS);
}

// Why an attempt failed or a connection ended (`rc` from the library), read at
// once as errorText is.
std::string failure(const Shared& shared, int rc) {
    if (rc == MOSQ_ERR_TLS) return tlsFailure(shared);
    if (rc == MOSQ_ERR_KEEPALIVE) {
        const std::string within =
            " within the keep-alive (" + std::to_string(shared.connection.keepAliveSeconds) + " s)";
        return shared.answered ? "no answer from the broker" + within
                               : "the broker took the connection but did not answer" + within;
    }
    return errorText(rc);
}

void onLog(mosquitto*, void* data, int level, const char* text) {
    auto* shared = static_cast<Shared*>(data);
    // A few lines are enough to name the cause; a handle lives for one attempt.
    if (level == MOSQ_LOG_ERR && text != nullptr && shared->libraryErrors.size() < 16)
        shared->libraryErrors.emplace_back(text);
}

void onConnect(mosquitto*, void* data, int rc) {
    auto* shared = static_cast<Shared*>(data);
    shared->answered = true;
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

void onPublish(mosquitto*, void* data, int mid) {
    auto* shared = static_cast<Shared*>(data);
    const auto found = shared->idOfMid.find(mid);
    if (found == shared->idOfMid.end()) return;
    shared->turnAcks.push_back(found->second);
    shared->idOfMid.erase(found);
}

// Sets up one connection's handle; returns why it cannot be, or "".
std::string configure(mosquitto* mosq, Shared& shared) {
    const MqttConnection& c = shared.connection;
    // Everything is written by the library's loop functions, which only this
    // thread calls, so a turn's messages go out together.
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Every message goes straight into the send order, so the offline status
    // and the disconnect leave behind all that was handed over before them.
    mosquitto_max_inflight_messages_set(mosq, 0);
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_log_callback_set(mosq, onLog);
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
            // A file of the wrong kind (a key, a request) fails the same way as
            // an untrusted broker in the library: it is named here instead.
            std::ifstream file(c.caFile, std::ios::binary);
            if (!file)
                return "the CA file " + c.caFile + " cannot be read: " + std::strerror(errno);
            const std::string pem((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
            if (pem.find("-----BEGIN CERTIFICATE-----") == std::string::npos)
                return "the CA file " + c.caFile + " holds no certificate";
            rc = mosquitto_tls_set(mosq, c.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return rc == MOSQ_ERR_SUCCESS ? std::string() : errorText(rc);
}

// Waits for the socket (`events`, or none) or a nudge, at most `ms`.
void await(Shared& shared, int sock, short events, int ms) {
    pollfd fds[2] = {{shared.nudgeFd, POLLIN, 0}, {sock, events, 0}};
    if (poll(fds, events != 0 ? 2 : 1, ms) > 0 && (fds[0].revents & POLLIN) != 0)
        shared.clearNudges();
}

// One attempt and, when it succeeds, the connection's whole life. Returns the
// reason it ended ("" after a disconnect asked for).
std::string runConnection(Shared& shared) {
    const MqttConnection& c = shared.connection;
    mosquitto* mosq = mosquitto_new(c.clientId.c_str(), true, &shared);
    if (mosq == nullptr) return std::strerror(errno);
    shared.refusal.clear();
    shared.answered = false;
    shared.libraryErrors.clear();
    shared.idOfMid.clear();
    shared.turnAcks.clear();
    std::string reason = configure(mosq, shared);
    if (reason.empty()) {
        const int rc = mosquitto_connect(mosq, c.host.c_str(), c.port, c.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) reason = failure(shared, rc);
    }
    if (!reason.empty()) {
        mosquitto_destroy(mosq);
        return reason;
    }
    std::string lost = "closed";
    bool stopping = false;  // a disconnect was asked for
    bool disconnectSent = false;
    std::vector<Shared::Outgoing> batch;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(shared.commandLock);
            if (shared.quit) break;
            if (shared.disconnectWanted && !stopping) {
                stopping = true;
                shared.connected = false;
            }
            batch.swap(shared.outbox);
            shared.nudgeWanted = false;
        }
        for (const Shared::Outgoing& m : batch) {
            int mid = 0;
            // A refusal here means the connection is going; its loss follows.
            if (mosquitto_publish(
                    mosq, &mid, m.message.topic.c_str(), static_cast<int>(m.message.payload.size()),
                    m.message.payload.data(), 1, m.message.retain) == MOSQ_ERR_SUCCESS)
                shared.idOfMid[mid] = m.id;
        }
        batch.clear();
        int rc = MOSQ_ERR_SUCCESS;
        if (mosquitto_want_write(mosq)) rc = mosquitto_loop_write(mosq, 1);
        // The library stops taking acknowledgements once asked to disconnect,
        // and a socket closed with an acknowledgement unread is reset, which
        // can cost the broker the DISCONNECT, so it would send the will after
        // a clean stop. So the DISCONNECT waits until all that was sent is
        // acknowledged, goes out at once, and nothing is read in between.
        if (rc == MOSQ_ERR_SUCCESS && !(disconnectSent && mosquitto_want_write(mosq)))
            rc = mosquitto_loop_read(mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && stopping && !disconnectSent && shared.idOfMid.empty() &&
            !mosquitto_want_write(mosq)) {
            disconnectSent = true;
            mosquitto_disconnect(mosq);
            rc = mosquitto_loop_write(mosq, 1);
        }
        int sock = mosquitto_socket(mosq);
        if (rc == MOSQ_ERR_SUCCESS && sock >= 0) rc = mosquitto_loop_misc(mosq);
        if (rc != MOSQ_ERR_SUCCESS) lost = failure(shared, rc);
        shared.postAcks(shared.turnAcks);
        sock = mosquitto_socket(mosq);
        if (rc != MOSQ_ERR_SUCCESS || sock < 0) break;

        // A few messages on the wire: the next turn comes after kTurnMs, and
        // neither their acknowledgements nor new messages wake the thread
        // before. Otherwise it waits for the socket or a nudge.
        const bool turning = shared.connected && !mosquitto_want_write(mosq) &&
                             !shared.idOfMid.empty() && shared.idOfMid.size() < kBusyInFlight;
        {
            std::lock_guard<std::mutex> lock(shared.commandLock);
            if (!shared.outbox.empty() && !turning) continue;
            shared.nudgeWanted = !turning;
        }
        if (turning) {
            await(shared, sock, 0, kTurnMs);
        } else {
            await(shared, sock, POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0), kIdleWaitMs);
        }
    }
    shared.postAcks(shared.turnAcks);
    bool disconnected = false;
    {
        std::lock_guard<std::mutex> lock(shared.commandLock);
        shared.connected = false;
        shared.outbox.clear();
        shared.nudgeWanted = false;
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
        shared->clearNudges();
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
    shared_->nudge();
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
    // After what was handed over before it, at the network thread's next turn.
    std::lock_guard<std::mutex> lock(shared_->commandLock);
    shared_->disconnectWanted = true;
    shared_->nudge();
}

int MosquittoClient::Publish(const MqttMessage& message) {
    std::lock_guard<std::mutex> lock(shared_->commandLock);
    if (!shared_->connected) return 0;
    shared_->lastId = shared_->lastId == std::numeric_limits<int>::max() ? 1 : shared_->lastId + 1;
    shared_->outbox.push_back({shared_->lastId, message});
    if (shared_->nudgeWanted) {
        shared_->nudgeWanted = false;
        shared_->nudge();
    }
    return shared_->lastId;
}

}  // namespace tally
