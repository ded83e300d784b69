#include "app/headless/headless_publishing.h"

#include <algorithm>
#include <cstdlib>

#include "log/log_time.h"
#include "protocol/completeness.h"
#include "protocol/frames.h"
#include "publish/mosquitto_client.h"
#include "publish/state_message.h"
#include "publish/topics.h"
#include "serial/port_resolver.h"

namespace tally {
namespace {

// A station's readings this much further apart than announced make the configs
// go out again; the interval timer's jitter stays well inside it.
constexpr double kOutgrown = 1.5;

int wholeSeconds(std::int64_t micros) {
    return static_cast<int>((micros + 999'999) / 1'000'000);
}

}  // namespace

std::int64_t LineCycleMicros(const HeadlessOptions& o) {
    const Request reads[] = {ReadCountersRequest(), ReadInputsRequest(), ReadOutputsRequest()};
    const bool ticked[] = {o.readCounters, o.readInputs, o.readOutputs};
    const std::int64_t quiet = (o.protocol == Protocol::ModbusRtu ? RtuSilenceMicros(o.baud) : 0) +
                               std::int64_t{o.pauseMs} * 1000;
    std::int64_t total = 0;
    for (const int station : o.stations) {
        for (std::size_t i = 0; i < 3; ++i) {
            const std::optional<Bytes> frame =
                ticked[i] ? BuildFrame(o.protocol, StationHexOf(station), reads[i]) : std::nullopt;
            if (!frame) continue;
            total +=
                quiet + WireMicros(frame->size() + LongestReplyLength(o.protocol, *frame), o.baud);
        }
    }
    return total;
}

std::string PortIdentity(const std::string& port) {
    // The path the port is opened at, so the identity and the open cannot disagree.
    return port.find('/') == std::string::npos ? port : DeviceForPath(port);
}

HeadlessPublishing::HeadlessPublishing(const HeadlessOptions& options,
                                       const std::vector<int>& stations,
                                       ReadingBuilder::ContextSource context, TimerFactory& timers,
                                       std::function<void(const std::string&)> say,
                                       const std::string& hostName, Clock& clock)
    : readings_(std::move(context)), stations_(stations), clock_(clock), say_(say) {
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
    // One identity for the connection and the devices: two collectors on one
    // machine, or two cabinets of the same name under other prefixes, never meet.
    const std::string identity = DefaultMqttClientId(hostName, PortIdentity(options.port), prefix_);
    c.clientId = o.clientId.empty() ? identity : o.clientId;
    c.keepAliveSeconds = o.keepAliveSeconds;
    c.will = Publisher::Will(prefix_);
    // Nothing is subscribed to unless some command is allowed.
    if (!o.allow.empty()) {
        gate_ = std::make_unique<CommandGate>(prefix_, stations, o.allow);
        c.subscriptions = gate_->Filters();
    }
    client_ = std::make_unique<MosquittoClient>(c);
    if (gate_) client_->onMessage = [this](const MqttMessage& m) { received(m); };
    publisher_ = std::make_unique<Publisher>(
        *client_, timers, PublisherSettings{prefix_, broker_, o.queueLimit, o.drainSeconds},
        std::move(say));
    publisher_->onStopped = [this] {
        if (onStopped) onStopped();
    };
    if (gate_) {
        publisher_->onConnection = [this](bool connected) {
            if (connected) {
                gate_->Connected(clock_.MonotonicMicros());
            } else {
                gate_->ConnectionLost(clock_.MonotonicMicros());
            }
        };
    }
    if (o.discovery) {
        discovery_ = true;
        DiscoverySettings& d = discoverySettings_;
        d.discoveryPrefix = o.discoveryPrefix;
        d.prefix = prefix_;
        d.deviceKey = identity;
        d.cycleSeconds =
            std::max({1, options.everySeconds, wholeSeconds(LineCycleMicros(options))});
        d.counters = options.readCounters;
        d.inputs = options.readInputs;
        d.outputs = options.readOutputs;
        d.allow = o.allow;
        announce();
    }
}

void HeadlessPublishing::announce() {
    for (const int station : stations_) {
        for (MqttMessage& m : DiscoveryMessages(discoverySettings_, station))
            publisher_->Keep(std::move(m));
    }
}

void HeadlessPublishing::cycleEnded(int station, std::int64_t monoMicros) {
    const auto last = lastCycleEnd_.find(station);
    if (last != lastCycleEnd_.end() && discovery_) {
        // The line carries less than it could (slow replies, retries): the
        // values would expire between two readings, so the configs say more.
        const std::int64_t apart = monoMicros - last->second;
        if (apart > kOutgrown * 1e6 * discoverySettings_.cycleSeconds) {
            discoverySettings_.cycleSeconds = wholeSeconds(apart);
            announce();
        }
    }
    lastCycleEnd_[station] = monoMicros;
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
    if (event.type == LineEvent::Type::CycleEnd) cycleEnded(event.station, event.monoMicros);
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

std::string HeadlessPublishing::now() const {
    return FormatLocalLogTime(clock_.UtcMillis());
}

void HeadlessPublishing::received(const MqttMessage& m) {
    CommandVerdict verdict = gate_->Judge(m.topic, m.payload, m.retain, clock_.MonotonicMicros());
    if (verdict.command) {
        if (onCommand) onCommand({*verdict.command, m.topic, m.payload, verdict.resultTopic});
        return;
    }
    if (verdict.resultTopic.empty()) return;
    publisher_->Queue(
        {verdict.resultTopic, CommandResult(now(), m.topic, m.payload, verdict.refusal), false},
        false);
    // A flood of one mistake would bury the journal: each cause is said once.
    if (refusalsSaid_.insert(verdict.resultTopic + " " + verdict.refusal).second) {
        say_(now() + " refused " + m.topic + " " + JsonString(ShownPayload(m.payload)) + ": " +
             verdict.refusal + " (the same again is answered, not said)");
    }
}

void HeadlessPublishing::Answer(const ReceivedCommand& command, const std::string& outcome) {
    publisher_->Queue(
        {command.resultTopic, CommandResult(now(), command.topic, command.payload, outcome), false},
        false);
    say_(now() + " command " + command.topic + " " + command.payload + ": " + outcome);
}

void HeadlessPublishing::Stop() {
    publisher_->Stop();
}

}  // namespace tally
