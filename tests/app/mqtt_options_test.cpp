// The --mqtt options through the whole command line: what each URL and value
// gives, and every mistake refused with its reason.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "app/command_line.h"

namespace tally {
namespace {

const std::vector<std::string> kRun = {"--headless", "--port", "1",          "--baud", "9600",
                                       "--station",  "1",      "--protocol", "korvi",  "--every",
                                       "1",          "--read", "dc"};

CommandLine parse(std::vector<std::string> extra) {
    std::vector<std::string> args = kRun;
    args.insert(args.end(), extra.begin(), extra.end());
    return ParseCommandLine(args);
}

TEST(MqttOptions, UrlsGiveSchemePortUserAndPasswordAndTheCsvBecomesOptional) {
    struct Row {
        std::string url;
        bool tls;
        std::string host;
        int port;
        std::string user;
        std::optional<std::string> password;
    };
    const Row rows[] = {
        {"mqtt://broker", false, "broker", 1883, "", std::nullopt},
        {"mqtts://broker.plant.example/", true, "broker.plant.example", 8883, "", std::nullopt},
        {"mqtt://ops@10.0.0.5:1884", false, "10.0.0.5", 1884, "ops", std::nullopt},
        {"mqtts://ops:p%40ss:w@[::1]:65535", true, "::1", 65535, "ops", "p@ss:w"},
        {"mqtt://ops:@h", false, "h", 1883, "ops", ""},
    };
    for (const Row& row : rows) {
        const CommandLine line = parse({"--mqtt", row.url});
        ASSERT_EQ(line.action, CommandLine::Action::RunHeadless) << row.url << ": " << line.error;
        const MqttOptions& o = line.headless.mqtt;
        EXPECT_TRUE(o.enabled);
        EXPECT_EQ(o.tls, row.tls) << row.url;
        EXPECT_EQ(o.host, row.host) << row.url;
        EXPECT_EQ(o.port, row.port) << row.url;
        EXPECT_EQ(o.user, row.user) << row.url;
        EXPECT_EQ(o.urlPassword, row.password) << row.url;
    }
    const CommandLine line = parse({"--mqtt", "mqtt://b", "--mqtt-discovery", "--mqtt-queue", "5",
                                    "--mqtt-drain", "0", "--mqtt-prefix", "site/hall 2"});
    ASSERT_EQ(line.error, "");
    EXPECT_TRUE(line.headless.mqtt.discovery);
    EXPECT_EQ(line.headless.mqtt.discoveryPrefix, "homeassistant");
    EXPECT_EQ(line.headless.mqtt.queueLimit, 5u);
    EXPECT_EQ(line.headless.mqtt.drainSeconds, 0);
    EXPECT_EQ(line.headless.mqtt.prefix, "site/hall 2");
    EXPECT_EQ(parse({"--mqtt", "mqtt://b", "--mqtt-discovery", "ha"}).headless.mqtt.discoveryPrefix,
              "ha");
    EXPECT_EQ(parse({}).error, "a headless run needs --csv or --mqtt");

    EXPECT_EQ(DefaultMqttPrefix("cab#1"), "tallyscope/cab_1");
    EXPECT_EQ(DefaultMqttClientId("cab 1", "/dev/ttyUSB0"), "tallyscope-cab_1-ttyUSB0");
    EXPECT_EQ(DefaultMqttClientId("cab1", "3"), "tallyscope-cab1-port3");
}

TEST(MqttOptions, ThePasswordComesFromTheUrlElseTheFileElseTheEnvironment) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("secret").toStdString();
    std::ofstream(file) << "from file\r\nsecond line\n";
    MqttOptions o;
    EXPECT_EQ(MqttPassword(o, nullptr), std::nullopt);
    EXPECT_EQ(MqttPassword(o, "from env"), "from env");
    ASSERT_EQ(SetMqttOption(o, "--mqtt-password-file", file), "");
    EXPECT_EQ(MqttPassword(o, "from env"), "from file");
    ASSERT_EQ(SetMqttOption(o, "--mqtt", "mqtt://u:from%20url@h"), "");
    EXPECT_EQ(MqttPassword(o, "from env"), "from url");
}

TEST(MqttOptions, MistakesStopTheRunWithTheirReason) {
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--mqtt", "tcp://b"},
         "--mqtt tcp://b: give mqtt://[user[:password]@]host[:port] or mqtts://..."},
        {{"--mqtt", "mqtt://"}, "--mqtt mqtt://: the broker's host name is missing"},
        {{"--mqtt", "mqtt://b:0"}, "--mqtt mqtt://b:0: ports go from 1 to 65535"},
        {{"--mqtt", "mqtt://b:65536"}, "--mqtt mqtt://b:65536: ports go from 1 to 65535"},
        {{"--mqtt", "mqtt://b:x1"}, "--mqtt mqtt://b:x1: ports go from 1 to 65535"},
        {{"--mqtt", "mqtt://b:"}, "--mqtt mqtt://b:: the port is missing after :"},
        {{"--mqtt", "mqtt://b/topic"},
         "--mqtt mqtt://b/topic: a broker URL has no path, query or fragment"},
        {{"--mqtt", "mqtt://:pw@b"}, "--mqtt mqtt://:pw@b: the user name is missing or malformed"},
        {{"--mqtt", "mqtt://u:%4@b"},
         "--mqtt mqtt://u:%4@b: the password is malformed (reserved characters as %XX)"},
        {{"--mqtt", "mqtt://[::1"}, "--mqtt mqtt://[::1: an IPv6 address needs its closing ]"},
        {{"--mqtt-prefix", "a/+/b"},
         "--mqtt-prefix a/+/b: a topic prefix cannot hold +, # or a NUL"},
        {{"--mqtt-prefix", "a#"}, "--mqtt-prefix a#: a topic prefix cannot hold +, # or a NUL"},
        {{"--mqtt-prefix", std::string("a\0b", 3)},
         std::string("--mqtt-prefix a\0b: a topic prefix cannot hold +, # or a NUL", 59)},
        {{"--mqtt-prefix", "plant/"},
         "--mqtt-prefix plant/: a topic prefix neither starts nor ends with /"},
        {{"--mqtt-discovery=ha/#"},
         "--mqtt-discovery ha/#: a topic prefix cannot hold +, # or a NUL"},
        {{"--mqtt-ca", "/nonexistent/ca.pem"},
         "--mqtt-ca /nonexistent/ca.pem: cannot be read: No such file or directory"},
        {{"--mqtt-password-file", "/"}, "--mqtt-password-file /: cannot be read: read error"},
        {{"--mqtt-queue", "0"}, "--mqtt-queue 0: give 1 to 10000000 messages"},
        {{"--mqtt-drain", "3601"}, "--mqtt-drain 3601: give 0 to 3600 seconds"},
        {{"--mqtt-keepalive", "4"}, "--mqtt-keepalive 4: give 5 to 3600 seconds"},
    };
    for (const auto& [extra, error] : refused) {
        const CommandLine bad = parse(extra);
        EXPECT_EQ(bad.action, CommandLine::Action::Fail) << extra.front();
        EXPECT_EQ(bad.error, error);
    }
}

}  // namespace
}  // namespace tally
