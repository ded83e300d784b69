// Every message under the command topics, one row each, in the order they
// arrive: what it asks of which station, or why nothing reaches the line.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "publish/command_gate.h"

namespace tally {
namespace {

struct Row {
    std::int64_t ms;  // arrival, monotonic
    const char* topic;
    std::string payload;
    bool retain;
    // "do 3 on", "preset 2 =7", "clear 0"... or the refusal.
    std::string expected;
    bool reconnect = false;  // the connection was lost at 2.5 s and is back now
};

std::string shown(const CommandVerdict& v) {
    if (!v.command) return v.refusal;
    const Command& c = *v.command;
    std::string text = std::string(CommandActionName(c.action)) + " " + std::to_string(c.channel);
    if (c.action == CommandAction::Do || c.action == CommandAction::Enable)
        text += c.on ? " on" : " off";
    if (c.action == CommandAction::Preset) text += " =" + std::to_string(c.value);
    return text + " @" + std::to_string(c.station);
}

TEST(CommandGate, TakesOnlyAllowedWellFormedFreshCommandsAtTenASecondAStation) {
    // Station 2 may do everything, 3 only switch outputs, 9 is polled but allowed nothing.
    CommandGate gate("plant/cab", {2, 3, 9, 17},
                     {{2, 15u}, {3, static_cast<unsigned>(CommandAction::Do)}});
    const std::string n65(65, '1');
    const Row rows[] = {
        {0, "plant/cab/2/do/3/set", "ON", false, "do 3 on @2", true},
        {0, "plant/cab/3/do/8/set", "OFF", false, "do 8 off @3"},
        {0, "plant/cab/2/do/set", "ALL_ON", false, "do 0 on @2"},
        {0, "plant/cab/2/do/set", "ALL_OFF", false, "do 0 off @2"},
        {0, "plant/cab/2/counter/5/clear", "PRESS", false, "clear 5 @2"},
        {0, "plant/cab/2/counter/clear", "PRESS", false, "clear 0 @2"},
        {0, "plant/cab/2/counter/1/preset", "4294967295", false, "preset 1 =4294967295 @2"},
        {0, "plant/cab/2/counter/8/enable", "OFF", false, "enable 8 off @2"},
        {0, "plant/cab/17/do/1/set", "ON", false, "do is not allowed for station 17"},
        // Anything else is refused with its reason.
        {0, "plant/cab/2/do/1/set", "on", false, "the payload must be ON or OFF"},
        {0, "plant/cab/2/do/set", "ON", false, "the payload must be ALL_ON or ALL_OFF"},
        {0, "plant/cab/2/counter/clear", "", false, "the payload must be PRESS"},
        {0, "plant/cab/2/counter/1/preset", "4294967296", false,
         "the payload must be a whole number from 0 to 4294967295"},
        {0, "plant/cab/2/counter/1/preset", "-1", false,
         "the payload must be a whole number from 0 to 4294967295"},
        {0, "plant/cab/2/counter/1/preset", n65, false, "the payload is longer than 64 bytes"},
        {0, "plant/cab/2/do/9/set", "ON", false, "outputs go from 1 to 8"},
        {0, "plant/cab/2/counter/0/clear", "PRESS", false, "counters go from 1 to 8"},
        {0, "plant/cab/2/do/1/toggle", "ON", false, "not a command topic"},
        {0, "plant/cab/2/counter/1/do", "ON", false, "not a command topic"},
        {0, "plant/cab/3/counter/1/clear", "PRESS", false, "clear is not allowed for station 3"},
        {0, "plant/cab/9/do/1/set", "ON", false, "do is not allowed for station 9"},
        {0, "plant/cab/4/do/1/set", "ON", false, "station 4 is not polled"},
        {0, "plant/cab/02/do/1/set", "ON", false, "station 02 is not polled"},
        {0, "plant/cab/2/do/1/set", "ON", true,
         "retained: a command left on the broker is never carried out"},
        // Station 2 has had seven in this second, station 3 one: three more for 2, then none.
        {500, "plant/cab/2/do/2/set", "ON", false, "do 2 on @2"},
        {999, "plant/cab/2/do/2/set", "OFF", false, "do 2 off @2"},
        {999, "plant/cab/2/do/4/set", "ON", false, "do 4 on @2"},
        {999, "plant/cab/2/do/2/set", "ON", false, "too many"},
        {999, "plant/cab/3/do/2/set", "ON", false, "do 2 on @3"},
        {1000, "plant/cab/2/do/2/set", "ON", false, "do 2 on @2"},
        // The connection is lost at 2.5 s. Soon after the reconnect, a repeat of
        // what was done shortly before the loss is not done twice; what was done
        // long before, another payload, or the same once 2 s have passed is new.
        {1500, "plant/cab/2/do/2/set", "ON", false, "do 2 on @2"},
        {1600, "plant/cab/3/do/8/set", "ON", false, "do 8 on @3"},
        {9000, "plant/cab/2/do/2/set", "ON", false,
         "a duplicate of the command carried out before the reconnect", true},
        {9100, "plant/cab/3/do/8/set", "OFF", false, "do 8 off @3"},
        {9100, "plant/cab/2/do/3/set", "ON", false, "do 3 on @2"},
        {10999, "plant/cab/2/do/2/set", "ON", false,
         "a duplicate of the command carried out before the reconnect"},
        {11000, "plant/cab/2/do/2/set", "ON", false, "do 2 on @2"},
    };
    for (const Row& row : rows) {
        const std::int64_t micros = row.ms * 1000;
        if (row.reconnect) {
            gate.ConnectionLost(2'500'000);
            gate.Connected(micros);
        }
        const CommandVerdict v = gate.Judge(row.topic, row.payload, row.retain, micros);
        EXPECT_EQ(shown(v), row.expected) << row.topic << " " << row.payload;
        const std::string station = std::string(row.topic).substr(10);
        EXPECT_EQ(v.resultTopic, "plant/cab/" + station.substr(0, station.find('/')) + "/result");
    }

    // The answer stays valid JSON whatever the payload was.
    const std::string result =
        CommandResult("2026-12-08T10:00:00.000+01:00", "plant/cab/2/do/1/set", "\"\xff\n" + n65,
                      "the payload is longer than 64 bytes");
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(result)).object();
    EXPECT_EQ(json["payload"].toString().size(), 64) << result;
    EXPECT_EQ(json["outcome"].toString(), "the payload is longer than 64 bytes");
    EXPECT_EQ(json["time"].toString(), "2026-12-08T10:00:00.000+01:00");
}

}  // namespace
}  // namespace tally
