#include "sim/modbus_slave.h"

#include <gtest/gtest.h>

#include "protocol/checksum.h"
#include "protocol/hex.h"

namespace tally::sim {
namespace {

using Kind = RequestOutcome::Kind;

// RTU frame of a payload given as hex text, CRC appended low byte first.
std::string Rtu(const std::string& payload) {
    return HexToBytes(payload + CrcOfHex(payload));
}
std::string Ascii(const std::string& payload) {
    return ":" + payload + LrcOfHex(payload) + "\r\n";
}

class ModbusSlaveTest : public ::testing::Test {
  protected:
    std::string rtuReply(const std::string& payload, int station = 1) {
        const RequestOutcome outcome = AnswerModbusRtu(module, station, Rtu(payload));
        EXPECT_EQ(outcome.kind, Kind::Answer) << payload;
        return BytesToHex(outcome.reply);
    }

    ModuleState module{0};
};

// Request frames and reply layouts are those the program sends and decodes.
TEST_F(ModbusSlaveTest, ReadCoilsGivesOutputsOneByte) {
    module.setOutput(1, true);
    module.setOutput(8, true);
    EXPECT_EQ(BytesToHex(AnswerModbusRtu(module, 1,
                                         HexToBytes("010100000008"
                                                    "3DCC"))
                             .reply),
              "01010181" + CrcOfHex("01010181"));
    EXPECT_EQ(rtuReply("010100000008"), "0101018191E8");
}

TEST_F(ModbusSlaveTest, ReadDiscreteInputsFromEightGivesTheInputs) {
    module.setOutputs(0xFF);  // points 0-7 read the outputs back
    module.applyInputs(0x05);
    const RequestOutcome outcome = AnswerModbusAscii(module, 1, ":010200080008ED\r\n");
    ASSERT_EQ(outcome.kind, Kind::Answer);
    EXPECT_EQ(outcome.reply, ":01020105F7\r\n");
    EXPECT_EQ(rtuReply("010200000010"), "010202FF05" + CrcOfHex("010202FF05"));
}

TEST_F(ModbusSlaveTest, ReadHoldingRegistersGivesCountersHighWordFirstThenZeros) {
    module.setCounter(1, 0x00010002);
    module.setCounter(8, 0xFFFFFFFF);
    const std::string reply = rtuReply("010300000020");
    ASSERT_EQ(reply.size(), (3 + 64 + 2) * 2U);
    EXPECT_EQ(reply.substr(0, 6), "010340");
    EXPECT_EQ(reply.substr(6, 8), "00010002");
    EXPECT_EQ(reply.substr(6 + 7 * 8, 8), "FFFFFFFF");
    EXPECT_EQ(reply.substr(6 + 64, 64), std::string(64, '0'));
    // A read starting at the low word of counter 2.
    module.setCounter(2, 0x12345678);
    EXPECT_EQ(rtuReply("010300030001"), "0103025678" + CrcOfHex("0103025678"));
}

TEST_F(ModbusSlaveTest, WriteSingleCoilEchoesAndSwitchesOneOutput) {
    EXPECT_EQ(BytesToHex(AnswerModbusRtu(module, 1, HexToBytes("01050000FF008C3A")).reply),
              "01050000FF008C3A");
    EXPECT_EQ(module.outputs(), 0x01);
    module.setOutput(8, true);
    EXPECT_EQ(rtuReply("010500070000"), "0105000700007C0B");
    EXPECT_EQ(module.outputs(), 0x01);
}

TEST_F(ModbusSlaveTest, WriteMultipleCoilsEchoesStartAndQuantity) {
    const RequestOutcome on = AnswerModbusAscii(module, 1, ":010F0000000801FFE8\r\n");
    EXPECT_EQ(on.reply, Ascii("010F00000008"));
    EXPECT_EQ(module.outputs(), 0xFF);
    EXPECT_EQ(rtuReply("010F00000008010"
                       "0"),
              "010F00000008" + CrcOfHex("010F00000008"));
    EXPECT_EQ(module.outputs(), 0x00);
    rtuReply(
        "010F0002000301"
        "05");  // coils 2, 3, 4 = 1, 0, 1
    EXPECT_EQ(module.outputs(), 0x14);
}

TEST_F(ModbusSlaveTest, StandardExceptions) {
    struct Case {
        const char* payload;
        const char* reply;
    };
    for (const Case& c : {
             Case{"010600000001", "018601"},  // write single register: not supported
             Case{"012B0E0100", "01AB01"},    // device identification: not supported
             Case{"010100000009", "018102"},  // coil 8 does not exist
             Case{"010100080001", "018102"}, Case{"010100000000", "018103"},  // quantity 0
             Case{"010200000011", "018202"},        // discrete input 16 does not exist
             Case{"010300000021", "018302"},        // register 32 does not exist
             Case{"01030000007E", "018303"},        // more than 125 registers
             Case{"010500081234", "018503"},        // value neither FF00 nor 0000
             Case{"01050008FF00", "018502"},        // coil 8
             Case{"010F0000000802FF00", "018F03"},  // byte count does not match quantity
             Case{"010F0007000201FF", "018F02"},    // coils 7-8
             Case{"0103000000", "018303"},          // data too short
         }) {
        const RequestOutcome outcome = AnswerModbusRtu(module, 1, Rtu(c.payload));
        EXPECT_TRUE(outcome.exception) << c.payload;
        EXPECT_EQ(BytesToHex(outcome.reply), c.reply + CrcOfHex(c.reply)) << c.payload;
    }
    EXPECT_EQ(module.outputs(), 0);
}

TEST_F(ModbusSlaveTest, BadCrcOrLrcGetsNoAnswerAndChangesNothing) {
    const RequestOutcome rtu = AnswerModbusRtu(module, 1, HexToBytes("01050000FF008C3B"));
    EXPECT_EQ(rtu.kind, Kind::BadChecksum);
    const RequestOutcome ascii = AnswerModbusAscii(module, 1, ":01050000FF00FC\r\n");
    EXPECT_EQ(ascii.kind, Kind::BadChecksum);
    EXPECT_EQ(module.outputs(), 0);
}

TEST_F(ModbusSlaveTest, OtherStationIsIgnoredAndBroadcastWritesAreDoneSilently) {
    EXPECT_EQ(AnswerModbusRtu(module, 2, Rtu("01050000FF00")).kind, Kind::OtherStation);
    EXPECT_EQ(module.outputs(), 0);
    const RequestOutcome write = AnswerModbusRtu(module, 1, Rtu("00050002FF00"));
    EXPECT_EQ(write.kind, Kind::Broadcast);
    EXPECT_TRUE(write.reply.empty());
    EXPECT_EQ(module.outputs(), 0x04);
    EXPECT_EQ(AnswerModbusAscii(module, 1, Ascii("000100000008")).kind, Kind::Broadcast);
}

TEST_F(ModbusSlaveTest, AsciiAcceptsLowerCaseHexAndRepliesUpperCase) {
    module.setOutputs(0xAB);
    const RequestOutcome outcome = AnswerModbusAscii(module, 1, ":010100000008f6\r\n");
    ASSERT_EQ(outcome.kind, Kind::Answer);
    EXPECT_EQ(outcome.reply, Ascii("010101AB"));
}

TEST_F(ModbusSlaveTest, TruncatedOrMalformedFramesAreIgnored) {
    for (const char* frame : {":", ":01\r\n", ":0101000000F\r\n", ":01010000000GF6\r\n",
                              ":010100000008F6\r", "010100000008F6\r\n"}) {
        EXPECT_EQ(AnswerModbusAscii(module, 1, frame).kind, Kind::Invalid) << frame;
    }
    EXPECT_EQ(AnswerModbusRtu(module, 1, std::string("\x01\x01\x02", 3)).kind, Kind::Invalid);
    EXPECT_EQ(AnswerModbusRtu(module, 1, "").kind, Kind::Invalid);
}

}  // namespace
}  // namespace tally::sim
