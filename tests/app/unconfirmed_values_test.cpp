// Values on show that the latest read of their kind did not confirm stay, but in
// grey, until a good read replaces them: an operator must never take a silent
// module's last values for live ones.
#include <QImage>

#include "window_fixture.h"

namespace tally::testing {
namespace {

const std::string kCounters =
    ">00000010,00000020,00000030,00000040,00000050,00000060,00000070,00000080\r";
const std::string kInputs = ">0000000011110000\r";   // inputs 1-4 on
const std::string kOutputs = ">1000000100000000\r";  // outputs 1 and 8 on

class UnconfirmedValues : public WindowTest {
  protected:
    // Every kind ticked, a cycle every second; the first cycle goes out at once.
    void readEverySecond() { openAndRead({w->chkDC, w->chkDI, w->chkDO}, "1"); }

    void goodCycle() {
        answer(kCounters);
        answer(kInputs);
        answer(kOutputs);
    }

    // The darkest grey level inside the field's frame, as painted: its text's ink.
    static int darkestInk(QLineEdit* field) {
        const QImage image = field->grab().toImage();
        int darkest = 255;
        for (int y = 4; y < image.height() - 4; ++y)
            for (int x = 4; x < image.width() - 4; ++x)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        return darkest;
    }

    // What the monitor, the lamps and the buttons show of each kind: "B" black
    // (confirmed) or "G" grey, for raw counter 1 and scaled counter 8, input 1,
    // output 1; the pictures must agree with the state.
    std::string looks() {
        std::string seen;
        for (QLineEdit* field : {w->txtCTRaw[0], w->txtCTVal[7]}) {
            const int ink = darkestInk(field);
            // Grey text is 808080 where a glyph covers a whole pixel, lighter at its edges.
            EXPECT_TRUE(ink < 0x40 || ink == 0x80) << ink;
            EXPECT_EQ(IsConfirmed(field), ink < 0x40);
            seen += ink < 0x40 ? "B" : "G";
        }
        const QImage lamp = w->shpDI[0]->grab().toImage();
        for (QRgb colour :
             {lamp.pixel(lamp.width() / 2, lamp.height() / 2) & 0xFFFFFF, BackColor(w->cmdDO[1])}) {
            EXPECT_TRUE(colour == kOnColor || colour == kUnconfirmedOnColor) << std::hex << colour;
            seen += colour == kOnColor ? "B" : "G";
        }
        return seen;
    }
};

// What changes the module on the other end, or may have changed what it holds,
// takes the confirmation away; a command's acknowledgement confirms what it set.
TEST_F(UnconfirmedValues, FailedReadsProtocolStationAndCommandsDecideWhatIsConfirmed) {
    const auto counter = [this](std::size_t i) { return IsConfirmed(w->txtCTRaw[i]); };
    const auto output = [this](std::size_t k) { return BackColor(w->cmdDO[k]) == kOnColor; };
    w->show();
    EXPECT_FALSE(counter(0));  // nothing on show was read at start
    readEverySecond();
    goodCycle();
    EXPECT_EQ(looks(), "BBBB");

    // The counter read times out: the cycle ends there, nothing of it is confirmed.
    tmrNow().Fire();
    noAnswer();
    EXPECT_EQ(w->labReport->text(), "Time Out");
    EXPECT_EQ(looks(), "GGGG");
    // The values stay: only their colour says they are not live.
    EXPECT_EQ(w->txtCTRaw[0]->text() + " " + w->txtCTVal[7]->text(), "16 128.0");
    EXPECT_TRUE(w->shpDI[0]->filled() && w->OutputState[1] == 1);

    // The counters answer, the inputs get a bad reply; the outputs are given up.
    tmrNow().Fire();
    answer(kCounters);
    answer(">00000000\r");
    EXPECT_EQ(w->labReport->text(), "Bad Reply");
    EXPECT_EQ(looks(), "BBGG");

    // A good cycle restores the normal look of everything.
    tmrNow().Fire();
    goodCycle();
    EXPECT_EQ(looks(), "BBBB");

    // Another protocol may reach another module.
    w->optProtocol[2]->setChecked(true);
    EXPECT_FALSE(counter(0) || w->shpDI[0]->confirmed() || output(1));
    w->optProtocol[0]->setChecked(true);
    tmrNow().Fire();
    goodCycle();
    ASSERT_TRUE(counter(0) && w->shpDI[0]->confirmed() && output(1));

    // An output write that went unanswered may have switched it, or not.
    w->chkRead->setChecked(false);
    w->cmdDO[8]->click();  // output 8 off
    noAnswer();            // perhaps switched, perhaps not
    EXPECT_FALSE(output(1));
    EXPECT_EQ(BackColor(w->cmdDO[1]), kUnconfirmedOnColor);
    w->cmdDO[1]->click();  // output 1 off, acknowledged
    answer("DO>OK\r");
    EXPECT_EQ(BackColor(w->cmdDO[1]), kOffColor);

    // A clear that went unanswered may have cleared any counter (an answered one
    // confirms what it set: the counter setting tests).
    w->cmbDC->setCurrentText("3");
    w->chkCTClear->setChecked(true);
    noAnswer();
    EXPECT_FALSE(counter(0) || counter(2));

    // Another station, off line: the values came from the one before.
    w->cmdCOMM->click();
    w->cmbStation->setEditText("7");
    EXPECT_FALSE(counter(0));
}

}  // namespace
}  // namespace tally::testing
