// A throw-away mosquitto broker on a free port of 127.0.0.1 (never the system's
// service), stopped when the object goes; and a subscriber recording every message.
#pragma once

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace tally::testing {

// A TCP socket on a free port of 127.0.0.1, and that port.
struct LocalSocket {
    LocalSocket() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~LocalSocket() { ::close(fd); }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
};

inline int FreeLocalPort() {
    return LocalSocket().port;
}

class MqttBroker {
  public:
    ~MqttBroker() { Stop(); }

    // `users`, "name:password ...": the logins taken; anonymous ones are refused
    // unless `acl`, an access list, says what each client may do.
    // `tlsPort`: a second listener with TLS, its self-signed certificate in cert.pem.
    bool Start(const QString& users = {}, int tlsPort = 0, const QString& acl = {}) {
        // Run as root, the broker would become "mosquitto" and lose its own folder.
        std::string config =
            "per_listener_settings false\nlog_dest stderr\nlog_type information\npersistence true\n"
            "persistence_location ./\nuser " +
            std::string(::getpwuid(::getuid())->pw_name) + "\nlistener " + std::to_string(port) +
            " 127.0.0.1\nallow_anonymous " +
            (users.isEmpty() || !acl.isEmpty() ? "true\n" : "false\n");
        QStringList create{"-c"};
        for (const QString& user : users.split(' ', Qt::SkipEmptyParts)) {
            if (!run("mosquitto_passwd",
                     create + QStringList{"-b", "passwords", user.section(':', 0, 0),
                                          user.section(':', 1)}))
                return false;
            create.clear();
        }
        if (!users.isEmpty()) config += "password_file passwords\n";
        if (!acl.isEmpty()) config += "acl_file acl\n";
        if (!acl.isEmpty() && !write("acl", acl.toStdString())) return false;
        if (tlsPort != 0) {
            if (!MakeCertificate("key.pem", "cert.pem")) return false;
            config += "listener " + std::to_string(tlsPort) +
                      " 127.0.0.1\ncafile cert.pem\ncertfile cert.pem\nkeyfile key.pem\n";
        }
        return write("mosquitto.conf", config) && Restart();
    }

    // Starts again with the same configuration and port; true once it listens.
    bool Restart() {
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.readAll();  // the last run's
        process.start(MOSQUITTO_PATH, {"-c", "mosquitto.conf"});
        QByteArray log;
        while (!log.contains(" running") && process.waitForReadyRead(3000))
            log += process.readAll();
        return log.contains(" running");
    }

    // A self-signed certificate for 127.0.0.1 and its key, in the broker's folder.
    bool MakeCertificate(const QString& keyFile, const QString& certFile) {
        return run("openssl",
                   {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                    "-nodes", "-keyout", keyFile, "-out", certFile, "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1"});
    }

    void Stop() {
        process.terminate();
        if (!process.waitForFinished(3000)) process.kill();
        process.waitForFinished(1000);
    }

    const int port = FreeLocalPort();
    QTemporaryDir dir;
    QProcess process;

  private:
    bool write(const QString& name, const std::string& text) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text.c_str()) > 0;
    }
    bool run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(program, args);
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }
};

// mosquitto_sub on `filter` at QoS 1 in a lasting session, keeping every message;
// made once the broker has confirmed the subscription (or 3 s have passed).
class MqttSubscriber {
  public:
    struct Message {
        std::string topic, payload;
        bool retain;
    };

    MqttSubscriber(int port, const QString& filter) {
        static int count = 0;
        // Line-buffered, so its debug lines come as they happen.
        sub_.start("stdbuf",
                   QStringList{"-oL", "mosquitto_sub", "-p", QString::number(port), "-q", "1", "-c",
                               "-i", QStringLiteral("observer-%1-%2").arg(port).arg(++count), "-t",
                               filter, "-d", "-F", "%r %t %p"});
        while (!Subscribed() && sub_.waitForReadyRead(3000))
            continue;
    }
    ~MqttSubscriber() {
        sub_.terminate();
        sub_.waitForFinished(2000);
    }

    // Its debug lines say when the broker confirmed the subscription.
    bool Subscribed() { return (read(), text_.contains("received SUBACK")); }
    std::vector<Message> Messages() {
        read();
        static const QRegularExpression line("^([01]) (\\S+) (.*)$",
                                             QRegularExpression::MultilineOption);
        std::vector<Message> messages;
        for (auto it = line.globalMatch(text_); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            messages.push_back(
                {m.captured(2).toStdString(), m.captured(3).toStdString(), m.captured(1) == "1"});
        }
        return messages;
    }
    // Payloads received on `topic`, in order.
    std::vector<std::string> Payloads(const std::string& topic) {
        std::vector<std::string> payloads;
        for (const Message& m : Messages())
            if (m.topic == topic) payloads.push_back(m.payload);
        return payloads;
    }

  private:
    void read() { text_ += QString::fromUtf8(sub_.readAllStandardOutput()); }
    QProcess sub_;
    QString text_;
};

}  // namespace tally::testing
