// Outputs, counter clear and preset, and the counter-enable dialog through the
// window, with the exact bytes checked on the fake line.
#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

#include "window_fixture.h"

namespace tally::testing {
namespace {

using Outputs = WindowTest;
using CounterSetting = WindowTest;

class EnableDialog : public WindowTest {
  protected:
    // On line, reading the counters every 5 s, the first read answered.
    void pollCounters() {
        openAndRead({w->chkDC}, "5");
        answer(">00000000\r");
    }
};

const std::string kAck = "DO>OK\r";

TEST_F(Outputs, StatesAndColoursChangeOnlyOnAnAcceptedAcknowledgement) {
    openPort();
    struct Step {
        const char* reply;  // nullptr: no answer at all
        const char* status;
        int state;  // of output 3 afterwards
    };
    // Each click toggles from the remembered state, so a refused write sends the same again.
    for (const Step& step : std::initializer_list<Step>{{nullptr, "Time Out", 0},
                                                        {"DO>OK\r\n", "Time Out", 0},
                                                        {"do>ok\r", "Bad Reply", 0},
                                                        {"DO>OK\r", "Write OK", 1},
                                                        {"DO>OK\r", "Write OK", 0}}) {
        const int before = w->OutputState[3];
        w->cmdDO[3]->click();
        EXPECT_TRUE(IsBusy(w->fmeDO));
        EXPECT_EQ(lastWrite(), before ? "#01WDO3,0\r" : "#01WDO3,1\r");
        step.reply ? answer(step.reply) : noAnswer();
        EXPECT_EQ(w->labReport->text(), step.status) << (step.reply ? step.reply : "none");
        EXPECT_EQ(w->OutputState[3], step.state);
        EXPECT_EQ(BackColor(w->cmdDO[3]), step.state ? kOnColor : kOffColor);
        EXPECT_FALSE(IsBusy(w->fmeDO));
    }
}

// A click while the group is busy does nothing; switching the protocol or closing the
// port drops a command waiting for the line and frees the groups it kept busy.
TEST_F(Outputs, AClickWhileBusyDoesNothingAndASwitchOrClosingDropsAWaitingCommand) {
    openAndRead({w->chkDI});  // the input read is on the line
    w->cmbDC->setCurrentText("2");
    w->chkCTClear->setChecked(true);  // waits for the line
    w->optProtocol[1]->setChecked(true);
    EXPECT_EQ(w->labReport->text(), "Clear DC #2 cancelled");
    EXPECT_FALSE(IsBusy(w->fmeCT) || w->chkCTClear->isChecked());
    // The read already sent is judged in the protocol it went out in; nothing follows.
    answer(">0000000000000000\r");
    EXPECT_EQ(w->labReport->text(), "Read OK");
    EXPECT_EQ(port.writes, (std::vector<std::string>{"#01RDI\r"}));

    w->optProtocol[0]->setChecked(true);
    w->chkRead->setChecked(true);
    for (QPushButton* button : {w->cmdDO[1], w->cmdDO[2], w->cmdDoON})
        button->click();
    answer(">0000000000000000\r");
    EXPECT_EQ(port.writes, (std::vector<std::string>{"#01RDI\r", "#01RDI\r", "#01WDO1,1\r"}));
    w->chkCTClear->setChecked(true);  // waits behind the unanswered write
    w->cmdCOMM->click();
    EXPECT_FALSE(IsBusy(w->fmeDO) || IsBusy(w->fmeCT) || w->chkCTClear->isChecked());
    openPort();
    w->chkRead->setChecked(true);
    EXPECT_EQ(port.writes.size(), 4u);
    EXPECT_EQ(lastWrite(), "#01RDI\r");
}

TEST_F(CounterSetting, AcknowledgementsApplyToTheChannelSelectedWhenTheyArrive) {
    openPort();
    w->CounterValue.fill(7);
    w->ShowCounters();
    w->txtCTMulti[2]->setText("0.5");
    w->cmbDC->setCurrentText("3");
    w->chkCTClear->setChecked(true);
    EXPECT_EQ(lastWrite(), "#01CCT3\r");
    EXPECT_EQ(w->labReport->text(), "Clear DC #3");
    EXPECT_TRUE(IsBusy(w->fmeCT));
    answer("CCT>OK\r");
    EXPECT_EQ(w->labReport->text(), "Write OK");
    EXPECT_EQ(w->txtCTRaw[1]->text() + " " + w->txtCTRaw[2]->text() + " " + w->txtCTVal[2]->text(),
              "7 0 0.0");
    // The module has just set the cleared counter: it alone is confirmed.
    EXPECT_TRUE(IsConfirmed(w->txtCTRaw[2]) && !IsConfirmed(w->txtCTRaw[1]));
    EXPECT_FALSE(w->chkCTClear->isChecked() || IsBusy(w->fmeCT));
    // A preset queued for channel 5 lands on channel 3, selected when the reply comes.
    w->cmbDC->setCurrentText("5");
    w->txtCTSet->setText("1500");
    w->chkCTSet->setChecked(true);
    EXPECT_EQ(w->labReport->text(), "Write DC #5");
    w->cmbDC->setCurrentText("3");
    answer("RTC>OK\r");
    EXPECT_EQ(w->txtCTRaw[2]->text() + " " + w->txtCTVal[2]->text() + " " + w->txtCTRaw[4]->text(),
              "1500 750.0 7");
    EXPECT_FALSE(w->chkCTSet->isChecked() || IsConfirmed(w->txtCTRaw[4]));
    // "All": every row.
    w->cmbDC->setCurrentText("All");
    w->chkCTClear->setChecked(true);
    EXPECT_EQ(w->labReport->text(), "Clear All DC");
    answer("CCT>OK\r");
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_TRUE(w->txtCTRaw[i]->text() == "0" && IsConfirmed(w->txtCTRaw[i])) << i;
    // A preset normalises its field before reading it.
    w->txtCTSet->setText("99999999999");
    w->chkCTSet->setChecked(true);
    EXPECT_EQ(w->txtCTSet->text(), "4294967295.0");
    EXPECT_EQ(lastWrite(), "#01WRTC0A20" + std::string(64, 'F') + "F6\r");
    EXPECT_EQ(w->labReport->text(), "Write All DC");
}

TEST_F(CounterSetting, ACommandQueuedBehindAnotherIsAnnouncedAndAnsweredAsItself) {
    openPort();
    w->cmdDO[1]->click();
    w->cmbDC->setCurrentText("2");
    w->chkCTClear->setChecked(true);  // waits behind the output write
    answer(kAck);
    EXPECT_EQ(lastWrite(), "#01CCT2\r");
    EXPECT_EQ(w->labReport->text(), "Clear DC #2");
    w->cmdCTSet->click();  // the enable read waits behind the clear
    answer("CCT>OK\r");
    EXPECT_EQ(w->labReport->text(), "Read DC Status");
    answer("RTC>00\r");
    EXPECT_EQ(modal->shows, 1);
    EXPECT_EQ(w->labReport->text(), "Read DC Status OK");
}

TEST_F(CounterSetting, ModbusClearPresetAndEnableSendNothing) {
    openPort();
    w->PendingFrame = "#01WDO1,1\r";  // an older frame must never be sent again
    w->optProtocol[2]->setChecked(true);
    w->chkCTClear->setChecked(true);
    EXPECT_EQ(w->labReport->text(), "Clear DC works with the Korvi protocol only");
    w->chkCTSet->setChecked(true);
    w->cmdCTSet->click();
    EXPECT_EQ(w->labReport->text(), "Enable/Disable DC works with the Korvi protocol only");
    EXPECT_FALSE(w->chkCTClear->isChecked() || w->chkCTSet->isChecked());
    EXPECT_FALSE(IsBusy(w->fmeCT) || IsBusy(w.get()));
    EXPECT_TRUE(port.writes.empty());
}

// Confirmed clicks are checked against the simulated module end to end.
TEST_F(EnableDialog, ACheckBoxClickWritesTheFlagsAndAnUnansweredOneIsUndone) {
    openPort();
    onModal = [&](FrmSub& dialog) {
        auto& wait = static_cast<ManualTimer&>(*dialog.tmrWait);
        // DC3 is on in 05: unticking it writes 01, and the boxes wait for the answer.
        dialog.chkDS[3]->setChecked(false);
        EXPECT_EQ(lastWrite(), "#01WRTC080101F6\r");
        EXPECT_TRUE(dialog.Busy());
        EXPECT_FALSE(dialog.picDS->isEnabled() || dialog.cmdCancel->isEnabled());
        // No answer: beep, and the click is undone on screen.
        wait.Fire();
        EXPECT_EQ(beeps, 1);
        EXPECT_TRUE(dialog.chkDS[3]->isChecked() && w->CounterEnable[3] == 1);
        EXPECT_TRUE(dialog.picDS->isEnabled());
    };
    w->cmdCTSet->click();
    answer("RTC>05\r");
    EXPECT_EQ(modal->shows, 1);
}

// Esc or the close box during a write would let polling resume while its reply is due.
TEST_F(EnableDialog,
       ShowsTheReadFlagsWhileReadingPausesAndEscOrTheCloseBoxHideItButNotDuringAWrite) {
    pollCounters();
    const auto key = [](QWidget* target, int code) {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    };
    std::vector<bool> shown;  // after Enter, Esc and the close box while busy, then idle
    onModal = [&](FrmSub& dialog) {
        const std::size_t before = port.writes.size();
        for (int enter : {Qt::Key_Return, Qt::Key_Enter}) {
            key(&dialog, enter);
            key(dialog.chkDS[1], enter);
        }
        EXPECT_EQ(port.writes.size(), before);
        dialog.chkDS[1]->setChecked(true);
        key(&dialog, Qt::Key_Escape);
        shown.push_back(dialog.isVisible());
        dialog.windowHandle()->close();
        shown.push_back(dialog.isVisible());
        EXPECT_EQ(lastWrite(), "#01WRTC080101F6\r");  // no read meanwhile
        static_cast<ManualTimer&>(*dialog.tmrWait).Fire();
        dialog.windowHandle()->close();
        shown.push_back(dialog.isVisible());
    };
    w->cmdCTSet->click();
    answer("RTC>00\r");
    EXPECT_EQ(shown, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(lastWrite(), "#01RCT\r");  // polling resumed once the dialog was closed
    // Opened again, it shows freshly read flags while reading pauses; Esc hides it when idle.
    bool readWhileOpen = true;
    std::array<bool, 9> flags{};
    onModal = [&](FrmSub& dialog) {
        readWhileOpen = w->chkRead->isChecked();
        for (std::size_t k = 1; k <= 8; ++k)
            flags[k] = dialog.chkDS[k]->isChecked();
        key(&dialog, Qt::Key_Escape);
        shown.push_back(dialog.isVisible());
    };
    w->cmdCTSet->click();
    answer(">00000000\r");
    EXPECT_EQ(lastWrite(), "#01RRTC0801\r");
    const std::size_t before = port.writes.size();
    answer("RTC>A5\r");
    EXPECT_EQ(shown, (std::vector<bool>{true, true, false, false}));
    EXPECT_FALSE(readWhileOpen);
    EXPECT_EQ(flags,
              (std::array<bool, 9>{false, true, false, true, false, false, true, false, true}));
    EXPECT_TRUE(w->CounterEnable[1] == 1 && w->CounterEnable[2] == 0);
    // No write came from setting the boxes; "Read" is back and only one read followed.
    EXPECT_TRUE(w->chkRead->isChecked() && !IsBusy(w.get()));
    EXPECT_EQ(port.writes.size(), before + 1);
    EXPECT_EQ(lastWrite(), "#01RCT\r");
}

TEST_F(EnableDialog, APortFailingWhileItIsOpenLeavesTheWindowOffLineAndSilent) {
    pollCounters();
    onModal = [&](FrmSub& dialog) {
        port.failOutput = "Input/output error";  // the adapter is pulled, then a flag clicked
        dialog.chkDS[2]->setChecked(true);
        EXPECT_FALSE(dialog.isVisible());
    };
    w->cmdCTSet->click();
    answer("RTC>00\r");
    EXPECT_EQ(w->labReport->text(), "Off Line");
    EXPECT_FALSE(w->chkRead->isChecked());
    EXPECT_FALSE(static_cast<ManualTimer&>(*w->frmSub->tmrWait).Fire());
    EXPECT_EQ(beeps, 0);
    // The first tick of "Read" after reopening polls.
    port.failOutput.reset();
    openPort();
    w->chkRead->setChecked(true);
    EXPECT_EQ(lastWrite(), "#01RCT\r");
}

}  // namespace
}  // namespace tally::testing
