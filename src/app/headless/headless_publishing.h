// A headless run's publishing: what the options ask for, made into the client,
// the publisher and the messages of each station.
//
// Listens to the line: each station's cycle becomes its reading, built by the
// same code as the CSV row from the same events and multipliers, so the two
// agree. Never waits for the broker, so polling and the CSV go on whatever it
// does.
//
// Discovery announces what the run reads, with values held for three cycles:
// the longer of the interval and the cycle the line can carry, and again with a
// longer one if a station's readings come further apart than announced.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/options/headless_options.h"
#include "engine/clock.h"
#include "engine/line_event.h"
#include "engine/station_health.h"
#include "engine/timer.h"
#include "log/reading_builder.h"
#include "publish/command_gate.h"
#include "publish/discovery.h"
#include "publish/mqtt_client.h"
#include "publish/publisher.h"

namespace tally {

// The least time one cycle of the run's reads takes on the line: each request
// and its longest reply at the baud rate, and the quiet kept before each request.
std::int64_t LineCycleMicros(const HeadlessOptions& options);

// The port as the collector's identity names it: a path made absolute from the
// working folder; a port number or a bare device name as given.
std::string PortIdentity(const std::string& port);

class HeadlessPublishing : public LineListener {
  public:
    // `context`: the multipliers and interval, as the log has them; `hostName`:
    // the machine's, for the default prefix and client id.
    HeadlessPublishing(const HeadlessOptions& options, const std::vector<int>& stations,
                       ReadingBuilder::ContextSource context, TimerFactory& timers,
                       std::function<void(const std::string&)> say, const std::string& hostName,
                       Clock& clock);
    ~HeadlessPublishing() override;

    // "broker:1883 as tallyscope/cabinet-3"
    std::string Description() const;

    void Start();
    void OnLineEvent(const LineEvent& event) override;
    // The host's lost/back verdict on a station's cycle: its status topic.
    void StationChanged(int station, StationHealth::Change change);
    // Drains, says offline and disconnects; onStopped follows.
    void Stop();
    std::function<void()> onStopped;
    bool Stopped() const { return publisher_->Stopped(); }

    // "MQTT connected, 0 queued" for the progress line.
    std::string Summary() const { return "MQTT " + publisher_->Summary(); }
    // "180 state messages delivered to broker:1883" for the last line.
    std::string Delivered() const;

    // --- Commands, with --allow: those received that the gate lets through ---
    std::function<void(ReceivedCommand command)> onCommand;
    // A command's answer on its result topic, and its line in the journal.
    void Answer(const ReceivedCommand& command, const std::string& outcome);

  private:
    void reading(const StationReading& reading);
    void announce();
    void cycleEnded(int station, std::int64_t monoMicros);
    void received(const MqttMessage& message);
    std::string now() const;

    ReadingBuilder readings_;
    std::string prefix_;
    std::string broker_;
    std::vector<int> stations_;
    bool discovery_ = false;
    DiscoverySettings discoverySettings_;
    std::map<int, std::int64_t> lastCycleEnd_;  // by station, monotonic
    std::unique_ptr<MqttClient> client_;
    std::unique_ptr<Publisher> publisher_;
    Clock& clock_;
    std::function<void(const std::string&)> say_;
    std::unique_ptr<CommandGate> gate_;  // with --allow
    // The refusals said in the journal: once each, however often they come.
    std::set<std::string> refusalsSaid_;
};

}  // namespace tally
