// Home Assistant's MQTT discovery: retained config messages that make each
// polled station a device with its counters, rates, inputs and outputs, all
// read from the station's state message.
//
// The entities only show, unless the run allows commands: then a station's
// outputs become switches (do) and its counters get clear buttons (clear),
// each publishing to its command topic.
#pragma once

#include <string>
#include <vector>

#include "publish/command_allow.h"
#include "publish/mqtt_client.h"

namespace tally {

struct DiscoverySettings {
    std::string discoveryPrefix = "homeassistant";
    std::string prefix;  // the run's topic prefix
    // The collector's identity (host, port and prefix, DefaultMqttClientId):
    // stable across restarts, and another collector's devices never share it.
    std::string deviceKey;
    // How far apart a station's state messages come at most, in whole seconds:
    // a value older than three of these is unknown.
    int cycleSeconds = 1;
    // What the run reads: the entities of what it does not read are withdrawn.
    bool counters = true;  // counter k and rate k
    bool inputs = true;
    bool outputs = true;
    // What commands each station takes (--allow).
    AllowList allow{};
};

// The 49 config messages of one station, each retained: counter k, rate k
// (sensors), input k and output k (binary sensors), then output k as a switch
// and a clear button for counter k and for all. Those the run does not read or
// allow have an empty payload, which removes a config announced before: an
// output is either a binary sensor or a switch.
std::vector<MqttMessage> DiscoveryMessages(const DiscoverySettings& settings, int station);

// `text` with everything but letters, digits, "_" and "-" replaced by "_", as
// discovery's identifiers and topic levels allow.
std::string IdentifierText(const std::string& text);

}  // namespace tally
