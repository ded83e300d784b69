// The state message says what the CSV row says; discovery configs point at it.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <set>

#include "publish/discovery.h"
#include "publish/state_message.h"

namespace tally {
namespace {

TEST(StateMessage, HasTheCsvsNumbersAndNullForItsEmptyCells) {
    StationReading r;
    r.station = 7;
    r.protocol = Protocol::ModbusRtu;
    r.raw = {4294967295.0, 0.0, 1500.0, std::nullopt, 1.0, 2.0, 3.0, 4.0};
    r.scaled = {10737418.2375, -0.00004, 1500.0, std::nullopt, 0.5, 0.123456, 3.0, 4.0};
    r.rate = {0.5, 0.0, std::nullopt, std::nullopt, 1.0, 2.0, 3.0, 4.0};
    r.di = {1, 0, 1, 0, 1, 0, 1, 0};
    EXPECT_EQ(
        StateMessage(r, "2026-10-25T02:30:00.250+01:00"),
        "{\"time\":\"2026-10-25T02:30:00.250+01:00\",\"station\":7,\"protocol\":\"modbus-rtu\","
        "\"raw\":[4294967295,0,1500,null,1,2,3,4],"
        "\"scaled\":[10737418.2375,0.0,1500.0,null,0.5,0.1235,3.0,4.0],"
        "\"rate\":[0.5,0.0,null,null,1.0,2.0,3.0,4.0],"
        "\"di\":[1,0,1,0,1,0,1,0],\"do\":[null,null,null,null,null,null,null,null]}");
    EXPECT_EQ(JsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
}

QJsonObject Json(const MqttMessage& m) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
}

TEST(Discovery, OneDevicePerStationWithCountersRatesInputsAndOutputsOnItsStateAndStatus) {
    const std::vector<MqttMessage> messages =
        DiscoveryMessages({"ha", "tallyscope/cab 1", "tallyscope-cab.1-ttyUSB0-0a1b2c3d", 5}, 3);
    // Without commands the switches and buttons after the 32 are withdrawn.
    ASSERT_EQ(messages.size(), 49u);
    std::set<QString> ids;
    for (const MqttMessage& m : messages) {
        if (m.payload.empty()) continue;
        const QJsonObject c = Json(m);
        ids.insert(c["unique_id"].toString());
        EXPECT_TRUE(m.retain);
        EXPECT_EQ(c["state_topic"].toString(), "tallyscope/cab 1/3/state");
        EXPECT_EQ(c["expire_after"].toInt(), 15);
        EXPECT_EQ(
            QJsonDocument(c["availability"].toArray()).toJson(QJsonDocument::Compact),
            "[{\"topic\":\"tallyscope/cab 1/status\"},{\"topic\":\"tallyscope/cab 1/3/status\"}]");
        EXPECT_EQ(c["device"]["name"].toString(), "VL4300 station 3");
        EXPECT_EQ(c["device"]["identifiers"][0].toString(), "tallyscope-cab_1-ttyUSB0-0a1b2c3d_3");
    }
    EXPECT_EQ(ids.size(), 32u);
    EXPECT_EQ(messages[0].topic, "ha/sensor/tallyscope-cab_1-ttyUSB0-0a1b2c3d_3/counter1/config");
    EXPECT_EQ(messages[31].topic,
              "ha/binary_sensor/tallyscope-cab_1-ttyUSB0-0a1b2c3d_3/output8/config");
    const auto kind = [&](std::size_t i) {
        const QJsonObject c = Json(messages[i]);
        return (c["name"].toString() + "|" + c["value_template"].toString() + "|" +
                c["state_class"].toString() + "|" + c["unit_of_measurement"].toString() + "|" +
                c["payload_on"].toString())
            .toStdString();
    };
    EXPECT_EQ(kind(0), "Counter 1|{{ value_json.scaled[0] }}|total_increasing||");
    EXPECT_EQ(kind(15), "Rate 8|{{ value_json.rate[7] }}|measurement|1/s|");
    EXPECT_EQ(kind(16), "Input 1|{{ value_json.di[0] }}|||1");
    EXPECT_EQ(kind(31), "Output 8|{{ value_json.do[7] }}|||1");
}

// The same topics whatever is read or allowed, so a later run's empty payload
// removes a config: the outputs are binary sensors or switches, never both.
TEST(Discovery, OnlyWhatTheRunReadsOrAllowsIsAnnouncedAndTheRestIsWithdrawn) {
    DiscoverySettings counters{"ha", "p", "key", 4}, flags = counters;
    counters.inputs = counters.outputs = false;
    flags.counters = false;
    // Station 1 may switch outputs, station 2 clear counters; commands for outputs
    // not read give no switch.
    counters.allow = flags.allow = {{1, 1u}, {2, 2u}};
    const std::vector<MqttMessage> a = DiscoveryMessages(counters, 1),
                                   b = DiscoveryMessages(flags, 1), c = DiscoveryMessages(flags, 2);
    ASSERT_TRUE(a.size() == 49u && b.size() == 49u && c.size() == 49u);
    for (std::size_t i = 0; i < 49; ++i) {
        EXPECT_TRUE(a[i].topic == b[i].topic && a[i].retain && b[i].retain);
        // Counters and rates, inputs, outputs, switches, buttons.
        EXPECT_EQ(a[i].payload.empty(), i >= 16) << a[i].topic;
        EXPECT_EQ(b[i].payload.empty(), i < 16 || (i >= 24 && i < 32) || i >= 40) << b[i].topic;
        EXPECT_EQ(c[i].payload.empty(), i < 16 || (i >= 32 && i < 40)) << c[i].topic;
    }
    EXPECT_EQ(b[32].topic, "ha/switch/key_1/output1/config");
    EXPECT_EQ(Json(b[32])["command_topic"].toString(), "p/1/do/1/set");
    EXPECT_EQ(Json(b[32])["value_template"].toString(), "{{ value_json.do[0] }}");
    EXPECT_TRUE(Json(b[32])["state_on"] == "1" && Json(b[32])["payload_on"] == "ON" &&
                Json(b[32])["optimistic"] == false);
    EXPECT_EQ(c[40].topic, "ha/button/key_2/clear_all/config");
    EXPECT_EQ(Json(c[40])["command_topic"].toString(), "p/2/counter/clear");
    EXPECT_EQ(Json(c[48])["command_topic"].toString(), "p/2/counter/8/clear");
    EXPECT_EQ(Json(c[48])["payload_press"].toString(), "PRESS");
    EXPECT_EQ(Json(a[0])["expire_after"].toInt(), 12);
}

}  // namespace
}  // namespace tally
