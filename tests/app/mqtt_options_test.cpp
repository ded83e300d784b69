// The --mqtt options through the whole command line: what each URL and value
// gives, and every mistake refused with its reason.
#include <gtest/gtest.h>

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
    // url -> "tls host port user password" ("-": none)
    const std::pair<std::string, std::string> rows[] = {
        {"mqtt://broker", "0 broker 1883  -"},
        {"mqtts://broker.plant.example/", "1 broker.plant.example 8883  -"},
        {"mqtt://ops@10.0.0.5:1884", "0 10.0.0.5 1884 ops -"},
        {"mqtts://ops:p%40ss:w@[::1]:65535", "1 ::1 65535 ops p@ss:w"},
        {"mqtt://ops:@h", "0 h 1883 ops "},
    };
    for (const auto& [url, expected] : rows) {
        const CommandLine line = parse({"--mqtt", url});
        const MqttOptions& o = line.headless.mqtt;
        EXPECT_TRUE(o.enabled) << url << ": " << line.error;
        EXPECT_EQ(std::to_string(o.tls) + " " + o.host + " " + std::to_string(o.port) + " " +
                      o.user + " " + o.urlPassword.value_or("-"),
                  expected);
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

TEST(MqttOptions, MistakesStopTheRunWithTheirReason) {
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--mqtt", "tcp://b"},
         "--mqtt tcp://b: give mqtt://[user[:password]@]host[:port] or mqtts://..."},
        {{"--mqtt", "mqtt://"}, "--mqtt mqtt://: the broker's host name is missing"},
        {{"--mqtt", "mqtt://b:65536"}, "--mqtt mqtt://b:65536: ports go from 1 to 65535"},
        {{"--mqtt", "mqtt://b:x1"}, "--mqtt mqtt://b:x1: ports go from 1 to 65535"},
        {{"--mqtt", "mqtt://b/topic"},
         "--mqtt mqtt://b/topic: a broker URL has no path, query or fragment"},
        {{"--mqtt", "mqtt://:pw@b"}, "--mqtt mqtt://:pw@b: the user name is missing or malformed"},
        {{"--mqtt", "mqtt://u:%4@b"},
         "--mqtt mqtt://u:%4@b: the password is malformed (reserved characters as %XX)"},
        {{"--mqtt", "mqtt://[::1"}, "--mqtt mqtt://[::1: an IPv6 address needs its closing ]"},
        {{"--mqtt-prefix", "a/+/b"},
         "--mqtt-prefix a/+/b: a topic prefix cannot hold +, # or a NUL"},
        {{"--mqtt-prefix", std::string("a\0b", 3)},
         std::string("--mqtt-prefix a\0b: a topic prefix cannot hold +, # or a NUL", 59)},
        {{"--mqtt-prefix", "plant/"},
         "--mqtt-prefix plant/: a topic prefix neither starts nor ends with /"},
        {{"--mqtt-discovery=ha/#"},
         "--mqtt-discovery ha/#: a topic prefix cannot hold +, # or a NUL"},
        {{"--mqtt-ca", "/nonexistent/ca.pem"},
         "--mqtt-ca /nonexistent/ca.pem: cannot be read: No such file or directory"},
        {{"--mqtt-password-file", "/"}, "--mqtt-password-file /: cannot be read: read error"},
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
