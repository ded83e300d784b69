#include "publish/discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "publish/topics.h"

namespace tally {
namespace {

struct Entity {
    const char* component;  // "sensor" or "binary_sensor"
    const char* key;        // object id and JSON array of the state message
    const char* name;
    const char* array;
    bool DiscoverySettings::*read;  // the read it comes from
};

const Entity kEntities[] = {
    {"sensor", "counter", "Counter", "scaled", &DiscoverySettings::counters},
    {"sensor", "rate", "Rate", "rate", &DiscoverySettings::counters},
    {"binary_sensor", "input", "Input", "di", &DiscoverySettings::inputs},
    {"binary_sensor", "output", "Output", "do", &DiscoverySettings::outputs},
};

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

std::string IdentifierText(const std::string& text) {
    std::string id = text;
    for (char& c : id) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!kept) c = '_';
    }
    return id;
}

std::vector<MqttMessage> DiscoveryMessages(const DiscoverySettings& s, int station) {
    const std::string node = IdentifierText(s.deviceKey + "_" + std::to_string(station));
    QJsonObject device;
    device["identifiers"] = QJsonArray{q(node)};
    device["name"] = QStringLiteral("VL4300 station %1").arg(station);
    device["model"] = QStringLiteral("VL4300");
    QJsonArray availability{QJsonObject{{"topic", q(StatusTopic(s.prefix))}},
                            QJsonObject{{"topic", q(StationStatusTopic(s.prefix, station))}}};

    // What the broker may ask: never optimistic, a switch shows what the state
    // message says the module drives.
    const bool switches = s.outputs && Allowed(s.allow, station, CommandAction::Do);
    const bool buttons = Allowed(s.allow, station, CommandAction::Clear);

    std::vector<MqttMessage> messages;
    for (const Entity& e : kEntities) {
        for (int k = 1; k <= 8; ++k) {
            const std::string object = std::string(e.key) + std::to_string(k);
            const std::string topic =
                s.discoveryPrefix + "/" + e.component + "/" + node + "/" + object + "/config";
            if (!(s.*e.read) || (switches && std::string(e.key) == "output")) {
                messages.push_back({topic, std::string(), true});
                continue;
            }
            QJsonObject config;
            config["name"] = QStringLiteral("%1 %2").arg(QLatin1String(e.name)).arg(k);
            config["unique_id"] = q(node + "_" + object);
            config["state_topic"] = q(StateTopic(s.prefix, station));
            // A null (not read this cycle) renders as None: the entity shows unknown.
            config["value_template"] =
                QStringLiteral("{{ value_json.%1[%2] }}").arg(QLatin1String(e.array)).arg(k - 1);
            config["availability"] = availability;
            config["availability_mode"] = QStringLiteral("all");
            config["expire_after"] = 3 * s.cycleSeconds;
            config["device"] = device;
            if (std::string(e.component) == "binary_sensor") {
                config["payload_on"] = QStringLiteral("1");
                config["payload_off"] = QStringLiteral("0");
            } else if (std::string(e.key) == "counter") {
                config["state_class"] = QStringLiteral("total_increasing");
            } else {
                config["state_class"] = QStringLiteral("measurement");
                config["unit_of_measurement"] = QStringLiteral("1/s");
            }
            messages.push_back(
                {topic, QJsonDocument(config).toJson(QJsonDocument::Compact).toStdString(), true});
        }
    }

    const std::string commands = s.prefix + "/" + std::to_string(station);
    const auto entity = [&](const char* component, const std::string& object, bool shown,
                            const QString& name, QJsonObject config) {
        const std::string topic =
            s.discoveryPrefix + "/" + component + "/" + node + "/" + object + "/config";
        if (!shown) return messages.push_back({topic, std::string(), true});
        config["name"] = name;
        config["unique_id"] = q(node + "_" + object);
        config["availability"] = availability;
        config["availability_mode"] = QStringLiteral("all");
        config["device"] = device;
        messages.push_back(
            {topic, QJsonDocument(config).toJson(QJsonDocument::Compact).toStdString(), true});
    };
    for (int k = 1; k <= 8; ++k) {
        entity("switch", "output" + std::to_string(k), switches, QStringLiteral("Output %1").arg(k),
               {{"command_topic", q(commands + "/do/" + std::to_string(k) + "/set")},
                {"payload_on", "ON"},
                {"payload_off", "OFF"},
                {"state_topic", q(StateTopic(s.prefix, station))},
                {"value_template", QStringLiteral("{{ value_json.do[%1] }}").arg(k - 1)},
                {"state_on", "1"},
                {"state_off", "0"},
                {"optimistic", false}});
    }
    for (int k = 0; k <= 8; ++k) {
        const std::string counter = k == 0 ? "" : "/" + std::to_string(k);
        entity("button", k == 0 ? "clear_all" : "clear" + std::to_string(k), buttons,
               k == 0 ? QStringLiteral("Clear all counters")
                      : QStringLiteral("Clear counter %1").arg(k),
               {{"command_topic", q(commands + "/counter" + counter + "/clear")},
                {"payload_press", "PRESS"}});
    }
    return messages;
}

}  // namespace tally
