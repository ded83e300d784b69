#include "app/headless_publishing.h"

#include <cstdlib>

#include "log/log_time.h"
#include "publish/discovery.h"
#include "publish/mosquitto_client.h"
#include "publish/state_message.h"
#include "publish/topics.h"

namespace tally {

HeadlessPublishing::HeadlessPublishing(const HeadlessOptions& options,
                                       const std::vector<int>& stations,
                                       ReadingBuilder::ContextSource context, TimerFactory& timers,
                                       std::function<void(const std::string&)> say,
                                       const std::string& hostName)
    : readings_(std::move(context)) {
    readings_.onReading = [this](const StationReading& r) { reading(r); };
    const MqttOptions& o = options.mqtt;
    prefix_ = o.prefix.empty() ? DefaultMqttPrefix(hostName) : o.prefix;
    const bool ipv6 = o.host.find(':') != std::string::npos;
    broker_ = (ipv6 ? "[" + o.host + "]" : o.host) + ":" + std::to_string(o.port);
    MqttConnection c;
    c.host = o.host;
    c.port = o.port;
    c.tls = o.tls;
    c.caFile = o.caFile;
    c.user = o.user;
    c.password = MqttPassword(o, std::getenv(kMqttPasswordVariable));
    c.clientId = o.clientId.empty() ? DefaultMqttClientId(hostName, options.port) : o.clientId;
    c.keepAliveSeconds = o.keepAliveSeconds;
    c.will = Publisher::Will(prefix_);
    client_ = std::make_unique<MosquittoClient>(c);
    publisher_ = std::make_unique<Publisher>(
        *client_, timers, PublisherSettings{prefix_, broker_, o.queueLimit, o.drainSeconds},
        std::move(say));
    publisher_->onStopped = [this] {
        if (onStopped) onStopped();
    };
    if (o.discovery) {
        DiscoverySettings d;
        d.discoveryPrefix = o.discoveryPrefix;
        d.prefix = prefix_;
        d.deviceKey = hostName + "_" + options.port;
        d.intervalSeconds = options.everySeconds;
        for (const int station : stations) {
            for (MqttMessage& m : DiscoveryMessages(d, station))
                publisher_->Keep(std::move(m));
        }
    }
}

HeadlessPublishing::~HeadlessPublishing() {
    // The publisher lets go of the client before the client goes.
    publisher_.reset();
}

std::string HeadlessPublishing::Description() const {
    return broker_ + " under " + prefix_;
}

std::string HeadlessPublishing::Delivered() const {
    std::string text =
        std::to_string(publisher_->Delivered()) + " state messages delivered to " + broker_;
    if (publisher_->Dropped() > 0)
        text += ", " + std::to_string(publisher_->Dropped()) + " dropped while it was away";
    return text;
}

void HeadlessPublishing::Start() {
    publisher_->Start();
}

void HeadlessPublishing::OnLineEvent(const LineEvent& event) {
    readings_.OnLineEvent(event);
}

void HeadlessPublishing::StationChanged(int station, StationHealth::Change change) {
    if (change == StationHealth::Change::None) return;
    publisher_->Keep({StationStatusTopic(prefix_, station),
                      change == StationHealth::Change::Lost ? "offline" : "online", true});
}

void HeadlessPublishing::reading(const StationReading& r) {
    publisher_->Queue(
        {StateTopic(prefix_, r.station), StateMessage(r, FormatLocalLogTime(r.utcMs)), true});
}

void HeadlessPublishing::Stop() {
    publisher_->Stop();
}

}  // namespace tally
