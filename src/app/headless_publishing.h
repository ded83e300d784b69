// A headless run's publishing: what the options ask for, made into the client,
// the publisher and the messages of each station.
//
// Fed one reading per station per cycle and the stations' lost/back verdicts;
// never waits for the broker, so polling and the CSV go on whatever it does.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/headless_options.h"
#include "engine/station_health.h"
#include "engine/timer.h"
#include "log/station_reading.h"
#include "publish/mqtt_client.h"
#include "publish/publisher.h"

namespace tally {

class HeadlessPublishing {
  public:
    using TimeText = std::function<std::string(std::int64_t utcMs)>;

    // `client`: the connection to use (a test's); null connects with libmosquitto
    // as the options say. `hostName`: the machine's, for the default prefix and
    // client id.
    HeadlessPublishing(const HeadlessOptions& options, const std::vector<int>& stations,
                       TimerFactory& timers, std::function<void(const std::string&)> say,
                       const std::string& hostName, std::unique_ptr<MqttClient> client = nullptr,
                       TimeText timeText = {});
    ~HeadlessPublishing();

    // "broker:1883 as tallyscope/cabinet-3"
    std::string Description() const;

    void Start();
    void Reading(const StationReading& reading);
    void StationChanged(int station, StationHealth::Change change);
    // Drains, says offline and disconnects; onStopped follows.
    void Stop();
    std::function<void()> onStopped;
    bool Stopped() const { return publisher_->Stopped(); }

    // "MQTT connected, 0 queued" for the progress line.
    std::string Summary() const { return "MQTT " + publisher_->Summary(); }

  private:
    std::string prefix_;
    std::string broker_;
    TimeText timeText_;
    std::unique_ptr<MqttClient> client_;
    std::unique_ptr<Publisher> publisher_;
};

}  // namespace tally
