#include "publish/mosquitto_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
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

// What the event loop's thread and the network thread share, all under `lock`.
// Only the network thread touches the library handle. The event loop's thread
// moves the phase (Connect, Disconnect, the adapter's end) and leaves messages;
// it nudges the network thread through `nudgeFd` when that waits for traffic.
// What comes back goes as queued calls to `context`'s thread.
struct MosquittoClient::Shared {
    // Where the connection is, as both threads see it.
    enum class Phase {
        Idle,          // no connection: Connect() asks for one
        ConnectAsked,  // the network thread is to make an attempt
        Connecting,    // it makes it: name lookup, TCP, TLS, the login
        Connected,     // the broker took the login: Publish() hands messages over
        Draining,      // Disconnect() asked: what was handed over goes and is acknowledged
        Closing,       // the DISCONNECT is written; the broker closes the connection
        Quitting,      // the adapter is gone: the thread drops what it has and ends
        Done,          // the thread has ended
    };
    enum class Event {
        Connect,         // event loop
        Disconnect,      // event loop
        Attempt,         // network thread: it takes up the asked-for connect
        Accepted,        // network thread: the broker's CONNACK said yes
        DisconnectSent,  // network thread
        Ended,           // network thread: the attempt or the connection is over
        Quit,            // the adapter's destructor
        Finished,        // network thread: it returns
    };

    struct Outgoing {
        int id;
        MqttMessage message;
    };

    MqttConnection connection;
    int nudgeFd = -1;

    std::mutex lock;
    std::condition_variable changed;  // the phase moved
    Phase phase = Phase::Idle;
    std::vector<Outgoing> outbox;  // handed over, not yet given to the library
    int lastId = 0;
    bool nudgeWanted = false;    // the network thread waits for traffic, not for a turn
    QObject* context = nullptr;  // null once the adapter is gone
    MosquittoClient* owner = nullptr;
    std::vector<int> acked;  // acknowledged ids not yet handed back; a call is on its way

    Shared() : nudgeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Shared() {
        if (nudgeFd >= 0) close(nudgeFd);
    }

    // Every move of the phase, with `lock` held. Returns whether it moved.
    bool on(Event event) {
        const Phase was = phase;
        switch (event) {
            case Event::Connect:
                if (was == Phase::Idle) phase = Phase::ConnectAsked;
                break;
            case Event::Disconnect:
                if (was == Phase::Connecting || was == Phase::Connected) phase = Phase::Draining;
                break;
            case Event::Attempt:
                if (was == Phase::ConnectAsked) phase = Phase::Connecting;
                break;
            case Event::Accepted:
                if (was == Phase::Connecting) phase = Phase::Connected;
                break;
            case Event::DisconnectSent:
                if (was == Phase::Draining) phase = Phase::Closing;
                break;
            case Event::Ended:
                if (was != Phase::Quitting && was != Phase::Done) phase = Phase::Idle;
                break;
            case Event::Quit:
                if (was != Phase::Done) phase = Phase::Quitting;
                break;
            case Event::Finished:
                phase = Phase::Done;
                break;
        }
        if (phase == was) return false;
        if (phase != Phase::Connected && phase != Phase::Draining) outbox.clear();
        changed.notify_all();
        return true;
    }

    // With `lock` held.
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

    // With `lock` held.
    void post(std::function<void(MosquittoClient&)> call) {
        if (context == nullptr) return;
        MosquittoClient* client = owner;
        QMetaObject::invokeMethod(
            context, [client, call = std::move(call)] { call(*client); }, Qt::QueuedConnection);
    }

    // The acknowledgements of one turn go back in one queued call, and while
    // that call waits, later ones join it.
    void postAcks(std::vector<int>& ids) {
        if (ids.empty()) return;
        std::lock_guard<std::mutex> hold(lock);
        if (context == nullptr) return;
        const bool callPending = !acked.empty();
        acked.insert(acked.end(), ids.begin(), ids.end());
        ids.clear();
        if (callPending) return;
        MosquittoClient* client = owner;
        QMetaObject::invokeMethod(
            context,
            [this, client] {
                std::vector<int> ids;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    ids.swap(acked);
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
using Phase = Shared::Phase;
using Event = Shared::Event;

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

// One attempt's own, on the network thread only; the library's callbacks get it.
struct Attempt {
    explicit Attempt(Shared& s) : shared(s) {}
    Shared& shared;
    std::string refusal;
    bool answered = false;                   // the broker answered the CONNECT
    std::vector<std::string> libraryErrors;  // what the library logged as errors
    std::unordered_map<int, int> idOfMid;    // the library's message id -> ours
    std::vector<int> turnAcks;               // acknowledged during this turn
};

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
std::string tlsFailure(const Attempt& attempt) {
    const MqttConnection& c = attempt.shared.connection;
    const auto logged = [&](const char* text) {
        return std::any_of(attempt.libraryErrors.begin(), attempt.libraryErrors.end(),
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
    for (const std::string& line : attempt.libraryErrors) {
        if (line.rfind("OpenSSL Error", 0) == 0) return "TLS failed: " + line;
    }
    return errorText(MOSQ_ERR_TLS);
}

// Why an attempt failed or a connection ended (`rc` from the library), read at
// once as errorText is.
std::string failure(const Attempt& attempt, int rc) {
    if (rc == MOSQ_ERR_TLS) return tlsFailure(attempt);
    if (rc == MOSQ_ERR_KEEPALIVE) {
        const std::string within = " within the keep-alive (" +
                                   std::to_string(attempt.shared.connection.keepAliveSeconds) +
                                   " s)";
        return attempt.answered ? "no answer from the broker" + within
                                : "the broker took the connection but did not answer" + within;
    }
    return errorText(rc);
}

void onLog(mosquitto*, void* data, int level, const char* text) {
    auto* attempt = static_cast<Attempt*>(data);
    // A few lines are enough to name the cause.
    if (level == MOSQ_LOG_ERR && text != nullptr && attempt->libraryErrors.size() < 16)
        attempt->libraryErrors.emplace_back(text);
}

void onConnect(mosquitto* mosq, void* data, int rc) {
    auto* attempt = static_cast<Attempt*>(data);
    attempt->answered = true;
    if (rc != 0) {
        // The broker's own reason ("not authorised", "bad user name or password").
        std::string reason = attempt->shared.connection.subscriptions.empty()
                                 ? mosquitto_connack_string(rc)
                                 : mosquitto_reason_string(rc);
        if (!reason.empty() && reason.back() == '.') reason.pop_back();
        attempt->refusal = "the broker refused the login: " + reason;
        return;
    }
    Shared& shared = attempt->shared;
    // Asked at once, so no command published after the login is missed; the
    // session is clean, so none from before it comes late.
    // With the retain flag as published: a command a client left on the broker is
    // told apart also when it comes live, not only when a subscription finds it.
    for (const std::string& filter : shared.connection.subscriptions)
        mosquitto_subscribe_v5(mosq, nullptr, filter.c_str(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED,
                               nullptr);
    std::lock_guard<std::mutex> hold(shared.lock);
    if (shared.on(Event::Accepted)) {
        shared.post([](MosquittoClient& c) {
            if (c.onConnected) c.onConnected();
        });
    }
}

void onMessage(mosquitto*, void* data, const mosquitto_message* message) {
    auto* attempt = static_cast<Attempt*>(data);
    if (message == nullptr || message->topic == nullptr) return;
    MqttMessage m;
    m.topic = message->topic;
    if (message->payloadlen > 0)
        m.payload.assign(static_cast<const char*>(message->payload),
                         static_cast<std::size_t>(message->payloadlen));
    m.retain = message->retain;
    std::lock_guard<std::mutex> hold(attempt->shared.lock);
    attempt->shared.post([m = std::move(m)](MosquittoClient& c) {
        if (c.onMessage) c.onMessage(m);
    });
}

void onPublish(mosquitto*, void* data, int mid) {
    auto* attempt = static_cast<Attempt*>(data);
    const auto found = attempt->idOfMid.find(mid);
    if (found == attempt->idOfMid.end()) return;
    attempt->turnAcks.push_back(found->second);
    attempt->idOfMid.erase(found);
}

// Sets up one connection's handle; returns why it cannot be, or "".
std::string configure(mosquitto* mosq, const MqttConnection& c) {
    // Everything is written by the library's loop functions, which only this
    // thread calls, so a turn's messages go out together.
    mosquitto_threaded_set(mosq, true);
    // Subscriptions need MQTT 5 for the retain flag of a message as it was published.
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION,
                         c.subscriptions.empty() ? MQTT_PROTOCOL_V311 : MQTT_PROTOCOL_V5);
    // Every message goes straight into the send order, so the offline status
    // and the disconnect leave behind all that was handed over before them.
    mosquitto_max_inflight_messages_set(mosq, 0);
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_log_callback_set(mosq, onLog);
    mosquitto_publish_callback_set(mosq, onPublish);
    mosquitto_message_callback_set(mosq, onMessage);
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

// The connection's life once the library has a socket: turns until it ends.
// Returns why it ended, or "" when it ended without a failure.
std::string runTurns(mosquitto* mosq, Attempt& attempt) {
    Shared& shared = attempt.shared;
    std::vector<Shared::Outgoing> batch;
    for (;;) {
        Phase phase;
        {
            std::lock_guard<std::mutex> hold(shared.lock);
            phase = shared.phase;
            if (phase == Phase::Quitting) return std::string();
            batch.swap(shared.outbox);
            shared.nudgeWanted = false;
        }
        for (const Shared::Outgoing& m : batch) {
            int mid = 0;
            // A refusal here means the connection is going; its loss follows.
            if (mosquitto_publish(
                    mosq, &mid, m.message.topic.c_str(), static_cast<int>(m.message.payload.size()),
                    m.message.payload.data(), 1, m.message.retain) == MOSQ_ERR_SUCCESS)
                attempt.idOfMid[mid] = m.id;
        }
        batch.clear();
        int rc = MOSQ_ERR_SUCCESS;
        if (mosquitto_want_write(mosq)) rc = mosquitto_loop_write(mosq, 1);
        // The library stops taking acknowledgements once asked to disconnect,
        // and a socket closed with an acknowledgement unread is reset, which
        // can cost the broker the DISCONNECT, so it would send the will after
        // a clean stop. So the DISCONNECT waits until all that was sent is
        // acknowledged, goes out at once, and nothing is read in between.
        if (rc == MOSQ_ERR_SUCCESS && !(phase == Phase::Closing && mosquitto_want_write(mosq)))
            rc = mosquitto_loop_read(mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && phase == Phase::Draining && attempt.idOfMid.empty() &&
            !mosquitto_want_write(mosq)) {
            {
                std::lock_guard<std::mutex> hold(shared.lock);
                shared.on(Event::DisconnectSent);
            }
            mosquitto_disconnect(mosq);
            rc = mosquitto_loop_write(mosq, 1);
        }
        int sock = mosquitto_socket(mosq);
        if (rc == MOSQ_ERR_SUCCESS && sock >= 0) rc = mosquitto_loop_misc(mosq);
        const std::string lost = rc == MOSQ_ERR_SUCCESS ? std::string() : failure(attempt, rc);
        shared.postAcks(attempt.turnAcks);
        sock = mosquitto_socket(mosq);
        if (rc != MOSQ_ERR_SUCCESS || sock < 0) return lost;

        // A few messages on the wire: the next turn comes after kTurnMs, and
        // neither their acknowledgements nor new messages wake the thread
        // before. Otherwise it waits for the socket or a nudge.
        const bool turning = phase == Phase::Connected && !mosquitto_want_write(mosq) &&
                             !attempt.idOfMid.empty() && attempt.idOfMid.size() < kBusyInFlight;
        {
            std::lock_guard<std::mutex> hold(shared.lock);
            if (!shared.outbox.empty() && !turning) continue;
            shared.nudgeWanted = !turning;
        }
        if (turning) {
            // A command received waits for no turn.
            await(shared, sock, shared.connection.subscriptions.empty() ? 0 : POLLIN, kTurnMs);
        } else {
            await(shared, sock, POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0), kIdleWaitMs);
        }
    }
}

// One attempt and, when it succeeds, the connection's whole life; the phase
// is Idle after it. Returns the reason it ended ("" after a disconnect asked for).
std::string runConnection(Shared& shared) {
    const MqttConnection& c = shared.connection;
    Attempt attempt(shared);
    std::string reason;
    mosquitto* mosq = mosquitto_new(c.clientId.c_str(), true, &attempt);
    if (mosq == nullptr) {
        reason = std::strerror(errno);
    } else {
        reason = configure(mosq, c);
        if (reason.empty()) {
            const int rc = mosquitto_connect(mosq, c.host.c_str(), c.port, c.keepAliveSeconds);
            reason = rc == MOSQ_ERR_SUCCESS ? runTurns(mosq, attempt) : failure(attempt, rc);
        }
        shared.postAcks(attempt.turnAcks);
        mosquitto_destroy(mosq);
    }
    std::lock_guard<std::mutex> hold(shared.lock);
    const bool asked = shared.phase == Phase::Draining || shared.phase == Phase::Closing;
    shared.on(Event::Ended);
    if (!attempt.refusal.empty()) return attempt.refusal;
    if (asked) return std::string();
    return reason.empty() ? "closed" : reason;
}

void networkThread(std::shared_ptr<Shared> shared) {
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(shared->lock);
            shared->changed.wait(hold, [&] {
                return shared->phase == Phase::ConnectAsked || shared->phase == Phase::Quitting;
            });
            if (!shared->on(Event::Attempt)) break;
        }
        shared->clearNudges();
        const std::string reason = runConnection(*shared);
        std::lock_guard<std::mutex> hold(shared->lock);
        shared->post([reason](MosquittoClient& c) {
            if (c.onDisconnected) c.onDisconnected(reason);
        });
    }
    std::lock_guard<std::mutex> hold(shared->lock);
    shared->on(Event::Finished);
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
    std::unique_lock<std::mutex> hold(shared_->lock);
    shared_->context = nullptr;
    shared_->on(Shared::Event::Quit);
    shared_->nudge();
    // A connect stuck on an unreachable host is not waited for: the thread
    // holds what it needs and ends on its own.
    shared_->changed.wait_for(hold, std::chrono::seconds(2),
                              [this] { return shared_->phase == Shared::Phase::Done; });
}

void MosquittoClient::Connect() {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->on(Shared::Event::Connect);
}

void MosquittoClient::Disconnect() {
    // After what was handed over before it, at the network thread's next turn.
    std::lock_guard<std::mutex> hold(shared_->lock);
    if (shared_->on(Shared::Event::Disconnect)) shared_->nudge();
}

int MosquittoClient::Publish(const MqttMessage& message) {
    std::lock_guard<std::mutex> hold(shared_->lock);
    if (shared_->phase != Shared::Phase::Connected) return 0;
    shared_->lastId = shared_->lastId == std::numeric_limits<int>::max() ? 1 : shared_->lastId + 1;
    shared_->outbox.push_back({shared_->lastId, message});
    if (shared_->nudgeWanted) {
        shared_->nudgeWanted = false;
        shared_->nudge();
    }
    return shared_->lastId;
}

}  // namespace tally
