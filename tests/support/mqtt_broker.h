// A throw-away mosquitto broker for a test: its own configuration in a temporary
// folder, a free port on 127.0.0.1, never the system's service; stopped when
// the object goes. And a subscriber that records every message it gets.
#pragma once

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tally::testing {

// Runs the event loop until the condition holds or the time is up; true if it held.
inline bool RunUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (condition()) return true;
        if (elapsed.elapsed() > timeoutMs) return false;
        QThread::msleep(5);
    }
}

inline int FreeLocalPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

inline bool PortAccepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

class MqttBroker {
  public:
    MqttBroker() : port(FreeLocalPort()) {}
    ~MqttBroker() { Stop(); }

    // `users`: "name:password" pairs; with any, anonymous logins are refused.
    bool Start(const std::vector<std::string>& users = {}) {
        std::string config = "listener " + std::to_string(port) +
                             " 127.0.0.1\nlog_dest none\nmax_queued_messages 100000\n"
                             // Sessions and queued messages outlive a restart.
                             "persistence true\npersistence_location " +
                             dir.path().toStdString() +
                             "/\n"
                             // Run as root, the broker would become "mosquitto" and
                             // lose its own folder.
                             "user " +
                             ::getpwuid(::getuid())->pw_name + "\n";
        if (users.empty()) {
            config += "allow_anonymous true\n";
        } else {
            const QString passwords = dir.filePath("passwords");
            QFile(passwords).open(QIODevice::WriteOnly);
            for (const std::string& user : users) {
                const std::size_t colon = user.find(':');
                QProcess::execute("mosquitto_passwd",
                                  {"-b", passwords, QString::fromStdString(user.substr(0, colon)),
                                   QString::fromStdString(user.substr(colon + 1))});
            }
            config += "allow_anonymous false\npassword_file " + passwords.toStdString() + "\n";
        }
        QFile file(dir.filePath("mosquitto.conf"));
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write(config.c_str());
        file.close();
        return Restart();
    }

    // Starts again with the same configuration and port.
    bool Restart() {
        process.setProgram(MOSQUITTO_PATH);
        process.setArguments({"-c", dir.filePath("mosquitto.conf")});
        process.start();
        if (!process.waitForStarted(3000)) return false;
        return RunUntil([this] { return PortAccepts(port); }, 3000);
    }

    void Stop() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(1000);
        }
    }

    const int port;
    QTemporaryDir dir;
    QProcess process;
};

// Subscribes to `filter` and keeps every message, on the library's own thread.
class MqttSubscriber {
  public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retain;
    };

    // A lasting session: what is published while the broker restarts and the
    // subscriber is not yet back is kept for it.
    MqttSubscriber(int port, std::string filter) : filter_(std::move(filter)) {
        mosquitto_lib_init();
        const std::string id = "observer-" + std::to_string(port) + "-" + std::to_string(++count());
        mosq_ = mosquitto_new(id.c_str(), false, this);
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<MqttSubscriber*>(self)->filter_.c_str(),
                                    1);
        });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<MqttSubscriber*>(self)->subscribed_ = true;
        });
        mosquitto_message_callback_set(
            mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* me = static_cast<MqttSubscriber*>(self);
                std::lock_guard<std::mutex> lock(me->lock_);
                me->messages_.push_back({m->topic,
                                         std::string(static_cast<const char*>(m->payload),
                                                     static_cast<std::size_t>(m->payloadlen)),
                                         m->retain});
            });
        mosquitto_connect(mosq_, "127.0.0.1", port, 60);
        mosquitto_loop_start(mosq_);
    }
    ~MqttSubscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }

    bool WaitSubscribed() {
        return RunUntil([this] { return subscribed_.load(); }, 3000);
    }
    std::vector<Message> Messages() const {
        std::lock_guard<std::mutex> lock(lock_);
        return messages_;
    }
    // Payloads received on `topic`, in order.
    std::vector<std::string> Payloads(const std::string& topic) const {
        std::vector<std::string> payloads;
        for (const Message& m : Messages()) {
            if (m.topic == topic) payloads.push_back(m.payload);
        }
        return payloads;
    }

  private:
    static int& count() {
        static int n = 0;
        return n;
    }
    std::string filter_;
    mosquitto* mosq_ = nullptr;
    std::atomic<bool> subscribed_{false};
    mutable std::mutex lock_;
    std::vector<Message> messages_;
};

}  // namespace tally::testing
