// A headless run's publishing: what the options ask for, made into the client,
// the publisher and the messages of each station.
//
// Listens to the line: each station's cycle becomes its reading, built by the
// same code as the CSV row from the same events and multipliers, so the two
// agree. Never waits for the broker, so polling and the CSV go on whatever it
// does.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/headless_options.h"
#include "engine/line_event.h"
#include "engine/station_health.h"
#include "engine/timer.h"
#include "log/reading_builder.h"
#include "publish/mqtt_client.h"
#include "publish/publisher.h"

namespace tally {

class HeadlessPublishing : public LineListener {
  public:
    // `context`: the multipliers and interval, as the log has them; `hostName`:
    // the machine's, for the default prefix and client id.
    HeadlessPublishing(const HeadlessOptions& options, const std::vector<int>& stations,
                       ReadingBuilder::ContextSource context, TimerFactory& timers,
                       std::function<void(const std::string&)> say, const std::string& hostName);
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

  private:
    void reading(const StationReading& reading);

    ReadingBuilder readings_;
    std::string prefix_;
    std::string broker_;
    std::unique_ptr<MqttClient> client_;
    std::unique_ptr<Publisher> publisher_;
};

}  // namespace tally
