// Home Assistant's MQTT discovery: retained config messages that make each
// polled station a device with its counters, rates, inputs and outputs, all
// read from the station's state message.
//
// Nothing is ever subscribed to: the entities only show, and no message
// received can reach the module.
#pragma once

#include <string>
#include <vector>

#include "publish/mqtt_client.h"

namespace tally {

struct DiscoverySettings {
    std::string discoveryPrefix = "homeassistant";
    std::string prefix;       // the run's topic prefix
    std::string deviceKey;    // host and port ("cabinet-3_ttyUSB0"): stable across restarts
    int intervalSeconds = 1;  // the poll interval: a value older than three is unknown
};

// The 32 config messages of one station: counter k, rate k (sensors), input k
// and output k (binary sensors).
std::vector<MqttMessage> DiscoveryMessages(const DiscoverySettings& settings, int station);

// `text` with everything but letters, digits, "_" and "-" replaced by "_", as
// discovery's identifiers and topic levels allow.
std::string IdentifierText(const std::string& text);

}  // namespace tally
