// The main window: going on and off line, the port and station fields, and
// replies shown in the window.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <algorithm>
#include <tuple>

#include "ui/models/line_model.h"
#include "ui/windows/frm_line.h"
#include "ui/windows/port_item_delegate.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

using MainWindow = WindowTest;
using Texts = std::pair<const char*, const char*>;

TEST_F(MainWindow, GoingOnLineAndOffLineSwitchesEveryGroupAndResetsWhatIsShown) {
    const std::vector<QWidget*> choices{w->cmbCOMM, w->cmbBaud, w->cmbStation},
        groups{w->fmeMonitor, w->fmeDO, w->fmeDI, w->fmeCT, w->cmdCTSet};
    const auto all = [](const std::vector<QWidget*>& widgets, bool enabled) {
        return std::all_of(widgets.begin(), widgets.end(),
                           [enabled](QWidget* x) { return x->isEnabled() == enabled; });
    };
    EXPECT_TRUE(all(choices, true) && all(groups, false));
    port.Receive("stale");
    openPort(17);
    EXPECT_TRUE(port.received.empty());  // the receive buffer is flushed on opening
    EXPECT_TRUE(all(choices, false) && all(groups, true) && w->shpCOMM->filled());
    EXPECT_EQ(w->cmdCOMM->text(), "Close Port");
    EXPECT_NE(w->imgDC->cursor().shape(), Qt::ForbiddenCursor);
    // None of DC, DI, DO ticked: nothing to read; unticking the last one unticks "Read".
    EXPECT_FALSE(w->chkRead->isEnabled());
    w->chkDI->setChecked(true);
    EXPECT_TRUE(w->chkRead->isEnabled());
    w->chkRead->setChecked(true);
    EXPECT_EQ(lastWrite(), "#11RDI\r");  // station 17
    w->chkDI->setChecked(false);
    EXPECT_FALSE(w->chkRead->isChecked() || w->chkRead->isEnabled());

    // Closing while reading unticks "Read", greys the outputs and darkens the lamps.
    answer(">0000000011111111\r");
    w->chkDI->setChecked(true);
    w->chkDO->setChecked(true);
    w->chkRead->setChecked(true);
    answer(">0000000011111111\r");
    answer(">1100000100000000\r");  // outputs 1, 2 and 8 on
    ASSERT_TRUE(w->shpDI[0]->filled() && BackColor(w->cmdDO[1]) == kOnColor);
    w->cmdCOMM->click();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(w->labReport->text() + " / " + w->cmdCOMM->text(), "Off Line / Open Port");
    EXPECT_TRUE(all(choices, true) && all(groups, false) && w->chkDI->isChecked());
    EXPECT_FALSE(w->chkRead->isEnabled() || w->chkRead->isChecked() || tmrRead().Enabled() ||
                 tmrNow().Enabled());
    EXPECT_TRUE(w->txtAutoRead->isEnabled());
    for (std::size_t k = 1; k <= 8; ++k)
        EXPECT_FALSE(BackColor(w->cmdDO[k]) != kOffColor || w->shpDI[k - 1]->filled()) << k;
    EXPECT_EQ(w->OutputState[1], 1);  // remembered: only the look is reset
}

TEST_F(MainWindow, PortStationAndIntervalFieldsStayInRange) {
    const std::tuple<QComboBox*, const char*, const char*> combos[] = {
        {w->cmbCOMM, "17", "16"}, {w->cmbCOMM, "0", "1"}, {w->cmbStation, "45", "31"}};
    for (const auto& [field, typed, shown] : combos) {
        field->setEditText(typed);
        EXPECT_EQ(field->currentText(), shown) << typed;
    }
    for (const auto& [typed, shown] : {Texts{"75", "60"}, {"", "0"}, {"-5", "0"}, {"12", "12"}}) {
        w->txtAutoRead->setText(typed);
        EXPECT_EQ(w->txtAutoRead->text(), shown) << typed;
    }
    // An empty port or station field disables the open button.
    w->cmbStation->setEditText("");
    EXPECT_FALSE(w->cmdCOMM->isEnabled());
    w->cmbStation->setEditText("2");
    EXPECT_TRUE(w->cmdCOMM->isEnabled());
    w->cmbCOMM->setEditText("");
    EXPECT_FALSE(w->cmdCOMM->isEnabled());
}

// The list follows adapters while off line (the port timer, or F5), keeping the
// operator's number, and shows what is behind each number.
TEST_F(MainWindow, ThePortListFollowsAdaptersWhileOffLineAndKeepsTheTypedNumber) {
    EXPECT_EQ(w->cmbCOMM->itemData(1, kPortDetailRole).toString(), "adapter of port 3");
    w->cmbCOMM->setEditText("12");
    ports = {1, 2, 3};  // an adapter plugged in
    ASSERT_TRUE(tmrPorts().Fire());
    EXPECT_EQ(w->cmbCOMM->itemText(1) + w->cmbCOMM->currentText(), "212");
    openPort();
    EXPECT_FALSE(tmrPorts().Enabled());  // on line the list is fixed
    w->cmdCOMM->click();
    ports = {2, 4, 5};  // pulled out and plugged in while on line
    w->cmbCOMM_KeyDown(116);
    EXPECT_EQ(w->cmbCOMM->count(), 3);
    EXPECT_EQ(w->cmbCOMM->itemText(0) + w->cmbCOMM->currentText(), "212");
    EXPECT_EQ(w->cmbCOMM->toolTip(), "device of port 12");
    // F5 held down repeats during the listing's short waits: still one listing.
    int repeats = 3;
    clock.onEvents = [&] {
        QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier, QString(), true);
        if (repeats-- > 0) QApplication::sendEvent(w->cmbCOMM, &f5);
    };
    const int before = listings;
    w->cmbCOMM_KeyDown(116);
    EXPECT_EQ(listings, before + 1);
    EXPECT_EQ(repeats, 0);
    clock.onEvents = nullptr;
}

TEST_F(MainWindow, AFailedOpenOrAVanishedAdapterLeavesTheWindowOffLineWithTheReason) {
    port.failOpen = "Permission denied: /dev/ttyUSB0";
    w->cmdCOMM->click();
    EXPECT_EQ(w->labReport->text() + " / " + w->cmdCOMM->text(), "Off Line / Open Port");
    EXPECT_EQ(w->labReport->toolTip(), "Permission denied: /dev/ttyUSB0");
    EXPECT_TRUE(!w->shpCOMM->filled() && w->cmbCOMM->isEnabled() && messages.empty());
    // A station that is not a number never opens the port.
    port.failOpen.reset();
    w->cmbStation->setEditText("x");
    w->cmdCOMM->click();
    EXPECT_FALSE(port.PortOpen());

    openAndRead({w->chkDC}, "1");
    port.failInput = "Input/output error";
    tmrRead().Fire();
    EXPECT_EQ(w->labReport->text() + " / " + w->labReport->toolTip(),
              "Off Line / Input/output error");
    EXPECT_FALSE(w->chkRead->isChecked() || tmrNow().Enabled() || tmrRead().Enabled());
}

TEST_F(MainWindow, CounterRepliesFillTheMonitorRows) {
    openPort();
    EXPECT_EQ(w->txtCTVal[0]->text(), "--");
    w->chkDC->setChecked(true);
    w->txtCTMulti[1]->setText("0.5");
    w->txtCTMulti[7]->setText("10000");
    w->chkRead->setChecked(true);
    answer(">00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r");
    const auto row = [this](std::size_t i) {
        return w->txtCTRaw[i]->text() + " " + w->txtCTVal[i]->text();
    };
    EXPECT_EQ(row(1) + " " + row(7), "10 5.0 4294967295 42949672950000.0");
    EXPECT_FALSE(w->chkRead->isChecked());  // a single cycle
    // A field that is not one to eight hex digits keeps its counter; every row is
    // redrawn with today's multiplier.
    w->txtCTMulti[7]->setText("-1.0");
    w->chkRead->setChecked(true);
    answer(">1,123456789,0,0,0,0,0,8\r");
    EXPECT_EQ(row(1) + " " + row(7), "10 5.0 8 -8.0");
}

TEST_F(MainWindow, TheLineMonitorOpenedLateShowsEveryExchangeSinceThePortOpenedAndKeepsItsSize) {
    openAndRead({w->chkDC}, "1");
    answer(">1,2,3,4,5,6,7,8\r");
    tmrNow().Fire();
    answer(">1,2\r");  // a broken reply
    tmrNow().Fire();
    noAnswer();
    tmrNow().Fire();  // the fourth request is on the line when the monitor opens
    ASSERT_EQ(port.writes.size(), 4u);

    EXPECT_EQ(w->mnuLine->shortcut(), QKeySequence("Ctrl+L"));
    w->mnuLine->trigger();
    LineModel& rows = w->frmLine->Model();
    rows.Commit();
    ASSERT_EQ(rows.rowCount(), 7);
    for (int row = 0; row < 7; ++row)
        EXPECT_EQ(rows.Row(row).received, row % 2 == 1) << row;
    EXPECT_EQ(rows.Row(6).bytes, port.writes.back());
    EXPECT_EQ(w->frmLine->labStatRequests->text(), "Requests: 4");
    // The monitor is no dialog, closes with the window and keeps its size.
    FrmLine* monitor = w->frmLine;
    ASSERT_TRUE(monitor->isVisible() && !monitor->isModal());
    monitor->resize(700, 333);
    w->close();  // the program ends with the main window
    EXPECT_FALSE(monitor->isVisible());
    start();
    w->mnuLine->trigger();
    EXPECT_EQ(w->frmLine->size(), QSize(700, 333));
}

}  // namespace
}  // namespace tally::testing
