// The state message says what the CSV row says; discovery configs point at it.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <set>

#include "log/log_row.h"
#include "publish/discovery.h"
#include "publish/state_message.h"

namespace tally {
namespace {

TEST(StateMessage, CarriesTheRowsNumbersAsTheCsvWritesThemAndNullForItsEmptyCells) {
    StationReading r;
    r.station = 7;
    r.protocol = Protocol::ModbusRtu;
    r.raw = {4294967295.0, 0.0, 1500.0, std::nullopt, 1.0, 2.0, 3.0, 4.0};
    r.scaled = {10737418.2375, -0.00004, 1500.0, std::nullopt, 0.5, 0.123456, 3.0, 4.0};
    r.rate = {0.5, 0.0, std::nullopt, std::nullopt, 1.0, 2.0, 3.0, 4.0};
    r.di = {1, 0, 1, 0, 1, 0, 1, 0};
    const std::string time = "2026-10-25T02:30:00.250+01:00";
    const std::string json = StateMessage(r, time);
    EXPECT_EQ(
        json,
        "{\"time\":\"2026-10-25T02:30:00.250+01:00\",\"station\":7,\"protocol\":\"modbus-rtu\","
        "\"raw\":[4294967295,0,1500,null,1,2,3,4],"
        "\"scaled\":[10737418.2375,0.0,1500.0,null,0.5,0.1235,3.0,4.0],"
        "\"rate\":[0.5,0.0,null,null,1.0,2.0,3.0,4.0],"
        "\"di\":[1,0,1,0,1,0,1,0],\"do\":[null,null,null,null,null,null,null,null]}");
    EXPECT_FALSE(QJsonDocument::fromJson(QByteArray::fromStdString(json)).isNull());

    // The same reading as a CSV row: every cell is the matching JSON value's text.
    std::string csv = FormatLogRow(r, time);
    csv.resize(csv.size() - 2);
    std::string cells = json.substr(json.find("\"raw\":"));
    for (const char* name :
         {"\"raw\":", "\"scaled\":", "\"rate\":", "\"di\":", "\"do\":", "[", "]", "}"}) {
        for (std::size_t at; (at = cells.find(name)) != std::string::npos;)
            cells.erase(at, std::string(name).size());
    }
    for (std::size_t at; (at = cells.find("null")) != std::string::npos;)
        cells.erase(at, 4);
    EXPECT_EQ(csv, time + ",7,modbus-rtu," + cells);

    EXPECT_EQ(JsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
}

TEST(Discovery, OneDevicePerStationWithCountersRatesInputsAndOutputsOnItsStateAndStatus) {
    DiscoverySettings s{"ha", "tallyscope/cab 1", "cab 1_/dev/ttyUSB0", 5};
    const std::vector<MqttMessage> messages = DiscoveryMessages(s, 3);
    ASSERT_EQ(messages.size(), 32u);
    std::set<std::string> ids, topics;
    for (const MqttMessage& m : messages) {
        EXPECT_TRUE(m.retain);
        const QJsonObject c =
            QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
        ids.insert(c["unique_id"].toString().toStdString());
        topics.insert(m.topic);
        EXPECT_EQ(c["state_topic"].toString(), "tallyscope/cab 1/3/state");
        EXPECT_EQ(c["expire_after"].toInt(), 15);
        EXPECT_EQ(c["availability_mode"].toString(), "all");
        const QJsonArray availability = c["availability"].toArray();
        ASSERT_EQ(availability.size(), 2);
        EXPECT_EQ(availability[0].toObject()["topic"].toString(), "tallyscope/cab 1/status");
        EXPECT_EQ(availability[1].toObject()["topic"].toString(), "tallyscope/cab 1/3/status");
        const QJsonObject device = c["device"].toObject();
        EXPECT_EQ(device["name"].toString(), "VL4300 station 3");
        EXPECT_EQ(device["model"].toString(), "VL4300");
        EXPECT_EQ(device["identifiers"].toArray()[0].toString(), "tallyscope_cab_1__dev_ttyUSB0_3");
    }
    EXPECT_EQ(ids.size(), 32u);
    EXPECT_EQ(topics.size(), 32u);

    const auto config = [&](std::size_t i) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(messages[i].payload)).object();
    };
    EXPECT_EQ(messages[0].topic, "ha/sensor/tallyscope_cab_1__dev_ttyUSB0_3/counter1/config");
    EXPECT_EQ(config(0)["name"].toString(), "Counter 1");
    EXPECT_EQ(config(0)["state_class"].toString(), "total_increasing");
    EXPECT_EQ(config(7)["value_template"].toString(), "{{ value_json.scaled[7] }}");
    EXPECT_EQ(config(8)["state_class"].toString(), "measurement");
    EXPECT_EQ(config(8)["unit_of_measurement"].toString(), "1/s");
    EXPECT_EQ(config(8)["value_template"].toString(), "{{ value_json.rate[0] }}");
    EXPECT_EQ(messages[16].topic, "ha/binary_sensor/tallyscope_cab_1__dev_ttyUSB0_3/input1/config");
    EXPECT_EQ(config(16)["value_template"].toString(), "{{ value_json.di[0] }}");
    EXPECT_EQ(config(16)["payload_on"].toString(), "1");
    EXPECT_EQ(config(31)["value_template"].toString(), "{{ value_json.do[7] }}");
    EXPECT_EQ(config(31)["name"].toString(), "Output 8");
}

}  // namespace
}  // namespace tally
