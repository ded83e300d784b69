// The options of a headless run that publish to an MQTT broker (--mqtt URL and
// the --mqtt-... options), each value checked as it is taken, so a mistyped
// URL stops the run at once with its reason.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tally {

struct MqttOptions {
    bool enabled = false;  // --mqtt given
    bool tls = false;      // mqtts://
    std::string host;
    int port = 1883;
    std::string user;
    std::optional<std::string> urlPassword;
    std::optional<std::string> filePassword;  // --mqtt-password-file, read when given
    std::string caFile;                       // --mqtt-ca
    std::string prefix;                       // "": tallyscope/<hostname>
    std::string clientId;                     // "": from host and port
    std::size_t queueLimit = 28'800;          // one hour of 8 stations at 1 s
    int drainSeconds = 10;
    bool discovery = false;
    std::string discoveryPrefix = "homeassistant";
    int keepAliveSeconds = 60;
};

constexpr const char* kMqttPasswordVariable = "TALLYSCOPE_MQTT_PASSWORD";

// Takes one --mqtt... option ("--mqtt", "mqtts://user@broker"); returns why the
// value is refused, or "". --mqtt-discovery takes "" for its default prefix.
std::string SetMqttOption(MqttOptions& options, const std::string& name, const std::string& value);

// The password to log in with: the URL's, else the file's, else the environment's.
std::optional<std::string> MqttPassword(const MqttOptions& options, const char* environment);

// Defaults made from the machine's name and the serial port, the same on every
// start: "tallyscope/cabinet-3" and "tallyscope-cabinet-3-ttyUSB0".
std::string DefaultMqttPrefix(const std::string& hostName);
std::string DefaultMqttClientId(const std::string& hostName, const std::string& port);

// Why a topic prefix cannot be used, or "".
std::string CheckTopicPrefix(const std::string& prefix);

}  // namespace tally
