// The main window: its controls, going on and off line, the port and station
// fields, and replies shown in the window.
#include <QApplication>
#include <QKeyEvent>

#include "window_fixture.h"

#include <QAction>

#include "ui/frm_line.h"

namespace tally::testing {
namespace {

using MainWindow = WindowTest;

TEST_F(MainWindow, EveryControlCarriesItsNameAndStartsOffLine) {
    const QStringList names =
        QStringLiteral(
            "Frame1 labCOMM cmbCOMM labBaud cmbBaud labStatiosn cmbStation cmdCOMM shpCOMM "
            "fmeProtocol "
            "optProtocol_0 optProtocol_2 fmeRead chkRead txtAutoRead labAuto chkDC chkDI chkDO "
            "fmeMonitor labCTRaw labCTMulti labCTVal labCh_7 txtCTRaw_0 labXX_0 txtCTMulti_7 "
            "labEQ_5 "
            "txtCTVal_3 fmeDI labDIVal labDI_7 shpDI_0 shpDI_7 fmeDO labDOVal cmdDO_1 cmdDO_8 "
            "cmdDoON "
            "cmdDoOFF Shape2 fmeCT chkCTClear chkCTSet txtCTSet labWDC cmbDC cmdCTSet Frame2 "
            "Label1 "
            "labReport imgDC")
            .split(' ');
    for (const QString& name : names)
        EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name.toStdString();
    EXPECT_EQ(w->findChild<QWidget*>("cmdDO_0"), nullptr);
    EXPECT_NE(w->frmSub->findChild<QWidget*>("chkDS_8"), nullptr);
    EXPECT_EQ(w->windowTitle(), "Korvi Tallyscope  v1.2");
    EXPECT_EQ(w->frmSub->windowTitle(), "Tallyscope, DC Status");
    EXPECT_EQ(w->labAuto->text(), "Every          Sec");
    EXPECT_EQ(w->labDI[7]->text(), "16");
    EXPECT_EQ(w->cmbBaud->currentText(), "19200");
    EXPECT_EQ(w->cmbStation->itemText(0), "0");
    EXPECT_EQ(w->cmbDC->currentText(), "All");
    EXPECT_FALSE(w->frmSub->isVisible());

    EXPECT_EQ(w->labReport->text(), "Off Line");
    for (QWidget* group : std::initializer_list<QWidget*>{w->fmeMonitor, w->fmeCT, w->fmeDI,
                                                          w->fmeDO, w->cmdCTSet, w->chkRead}) {
        EXPECT_FALSE(group->isEnabled()) << group->objectName().toStdString();
    }
    EXPECT_EQ(w->imgDC->cursor().shape(), Qt::ForbiddenCursor);
    // The port list comes from discovery; the typed number stays.
    EXPECT_EQ(w->cmbCOMM->count(), 2);
    EXPECT_EQ(w->cmbCOMM->currentText(), "1");
    EXPECT_EQ(w->cmbCOMM->toolTip(), "device of port 1");
}

TEST_F(MainWindow, GoingOnLineAndOffLineSwitchesEveryGroup) {
    w->cmbBaud->setCurrentText("57600");
    port.Receive("stale");
    openPort(17);
    EXPECT_EQ(port.Settings(), "57600,n,8,1");
    EXPECT_TRUE(port.received.empty());  // the receive buffer is flushed on opening
    EXPECT_EQ(w->StationHex, "11");
    EXPECT_EQ(w->cmdCOMM->text(), "Close Port");
    EXPECT_TRUE(w->shpCOMM->filled());
    for (QWidget* off : std::initializer_list<QWidget*>{w->cmbCOMM, w->cmbBaud, w->cmbStation}) {
        EXPECT_FALSE(off->isEnabled());
    }
    for (QWidget* on : std::initializer_list<QWidget*>{w->fmeMonitor, w->fmeDO, w->fmeDI, w->fmeCT,
                                                       w->cmdCTSet, w->optProtocol[2]}) {
        EXPECT_TRUE(on->isEnabled());
    }
    EXPECT_NE(w->imgDC->cursor().shape(), Qt::ForbiddenCursor);
    // None of DC, DI, DO ticked: nothing to read.
    EXPECT_FALSE(w->chkRead->isEnabled());
    w->chkDI->setChecked(true);
    EXPECT_TRUE(w->chkRead->isEnabled());

    w->cmdCOMM->click();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(w->labReport->text(), "Off Line");
    EXPECT_EQ(w->cmdCOMM->text(), "Open Port");
    EXPECT_FALSE(w->fmeDO->isEnabled());
    EXPECT_FALSE(w->chkRead->isEnabled());
    EXPECT_TRUE(w->chkDI->isChecked());
    for (auto [station, hex] : {std::pair{0, "00"}, std::pair{31, "1F"}}) {
        openPort(station);
        EXPECT_EQ(w->StationHex, hex);
        w->cmdCOMM->click();
    }
}

TEST_F(MainWindow, PortStationAndIntervalFieldsStayInRange) {
    struct Row {
        QWidget* field;
        const char* typed;
        const char* shown;
    };
    auto set = [](QWidget* field, const QString& text) {
        if (auto* combo = qobject_cast<QComboBox*>(field)) {
            combo->setEditText(text);
        } else {
            static_cast<QLineEdit*>(field)->setText(text);
        }
    };
    auto text = [](QWidget* field) {
        auto* combo = qobject_cast<QComboBox*>(field);
        return combo ? combo->currentText() : static_cast<QLineEdit*>(field)->text();
    };
    for (const Row& row : std::initializer_list<Row>{{w->cmbCOMM, "25", "16"},
                                                     {w->cmbCOMM, "0", "1"},
                                                     {w->cmbStation, "45", "31"},
                                                     {w->cmbStation, "0", "0"},
                                                     {w->txtAutoRead, "75", "60"},
                                                     {w->txtAutoRead, "", "0"},
                                                     {w->txtAutoRead, "-5", "0"},
                                                     {w->txtAutoRead, "12", "12"}}) {
        set(row.field, QLatin1String(row.typed));
        EXPECT_EQ(text(row.field), QLatin1String(row.shown)) << row.typed;
    }
    // An empty port or station field disables the open button.
    w->cmbStation->setEditText("");
    EXPECT_FALSE(w->cmdCOMM->isEnabled());
    w->cmbStation->setEditText("2");
    EXPECT_TRUE(w->cmdCOMM->isEnabled());
    w->cmbCOMM->setEditText("");
    EXPECT_FALSE(w->cmdCOMM->isEnabled());
}

TEST_F(MainWindow, F5RefreshesThePortListAndKeepsTheTypedNumber) {
    w->cmbCOMM->setEditText("12");
    ports = {2, 4, 5};
    w->cmbCOMM_KeyDown(116);
    EXPECT_EQ(w->cmbCOMM->count(), 3);
    EXPECT_EQ(w->cmbCOMM->itemText(0), "2");
    EXPECT_EQ(w->cmbCOMM->currentText(), "12");
    EXPECT_EQ(w->cmbCOMM->toolTip(), "device of port 12");
    // With nothing typed the refresh still completes and the field stays empty.
    w->cmbCOMM->setEditText("");
    w->cmbCOMM_KeyDown(116);
    EXPECT_EQ(w->cmbCOMM->count(), 3);
    EXPECT_EQ(w->cmbCOMM->currentText(), "");
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

TEST_F(MainWindow, AFailedOpenLeavesTheWindowOffLineWithTheReason) {
    port.failOpen = "Permission denied: /dev/ttyUSB0";
    w->cmdCOMM->click();
    EXPECT_EQ(w->labReport->text(), "Off Line");
    EXPECT_EQ(w->labReport->toolTip(), "Permission denied: /dev/ttyUSB0");
    EXPECT_EQ(w->cmdCOMM->text(), "Open Port");
    EXPECT_FALSE(w->shpCOMM->filled());
    EXPECT_FALSE(w->fmeDO->isEnabled());
    EXPECT_TRUE(w->cmbCOMM->isEnabled());
    EXPECT_TRUE(messages.empty());
    // A station that is not a number never opens the port.
    port.failOpen.reset();
    w->cmbStation->setEditText("x");
    w->cmdCOMM->click();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(w->labReport->text(), "Off Line");
}

TEST_F(MainWindow, ClosingWhileReadingUnticksReadGreysOutputsAndDarkensLamps) {
    openPort();
    w->chkDI->setChecked(true);
    w->chkRead->setChecked(true);
    answer(">0000000011111111\r");
    w->OutputState = {0, 1, 1, 0, 0, 0, 0, 0, 1};
    w->ShowOutputs();
    ASSERT_TRUE(w->shpDI[0]->filled());
    ASSERT_EQ(BackColor(w->cmdDO[1]), kOnColor);

    w->cmdCOMM->click();
    EXPECT_FALSE(w->chkRead->isChecked());
    EXPECT_TRUE(w->txtAutoRead->isEnabled());
    for (std::size_t k = 1; k <= 8; ++k)
        EXPECT_EQ(BackColor(w->cmdDO[k]), kOffColor);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_FALSE(w->shpDI[i]->filled());
    // The states are remembered, only the look is reset; the cycle starts afresh.
    EXPECT_EQ(w->OutputState[1], 1);
    EXPECT_EQ(w->PollStep, 0);
    EXPECT_FALSE(tmrRead().Enabled());
    EXPECT_FALSE(tmrNow().Enabled());
}

TEST_F(MainWindow, ReadingEveryIntervalSetsTheCycleTimer) {
    openPort();
    w->chkDC->setChecked(true);
    w->txtAutoRead->setText("60");
    w->chkRead->setChecked(true);
    EXPECT_FALSE(w->txtAutoRead->isEnabled());
    EXPECT_EQ(w->tmrNow->Interval(), 60000);
    EXPECT_EQ(lastWrite(), "#01RCT\r");
    EXPECT_EQ(w->labReport->text(), "Read DC");
    // Unticking the last read box unticks "Read".
    w->chkDC->setChecked(false);
    EXPECT_FALSE(w->chkRead->isChecked());
    EXPECT_FALSE(w->chkRead->isEnabled());
}

TEST_F(MainWindow, CounterRepliesFillTheMonitorRows) {
    openPort();
    EXPECT_EQ(w->txtCTVal[0]->text(), "--");
    w->chkDC->setChecked(true);
    w->txtCTMulti[1]->setText("0.5");
    w->txtCTMulti[7]->setText("10000");
    w->chkRead->setChecked(true);
    answer(">00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r");
    EXPECT_EQ(w->labReport->text(), "Read OK");
    const auto row = [this](std::size_t i) {
        return w->txtCTRaw[i]->text() + " " + w->txtCTVal[i]->text();
    };
    EXPECT_EQ(row(0), "16 16.0");
    EXPECT_EQ(row(1), "10 5.0");
    EXPECT_EQ(row(7), "4294967295 42949672950000.0");
    // A single cycle ends with "Read" unticked.
    EXPECT_FALSE(w->chkRead->isChecked());
    EXPECT_EQ(w->PollStep, 1000);
    // A reply without its eight fields, or without ">", is no reply: nothing is
    // taken or redrawn, and a single read stops.
    w->txtCTMulti[7]->setText("-1.0");
    for (const char* reply : {">00000001,00000002\r", "no marker here\r"}) {
        w->chkRead->setChecked(true);
        answer(reply);
        EXPECT_EQ(w->labReport->text(), "Bad Reply");
        EXPECT_EQ(row(0), "16 16.0");
        EXPECT_EQ(row(7), "4294967295 42949672950000.0");
        EXPECT_FALSE(w->chkRead->isChecked());
    }
    // A field that is not one to eight hex digits keeps its counter; every row is
    // redrawn with today's multiplier.
    w->chkRead->setChecked(true);
    answer(">1,123456789,0,0,0,0,0,8\r");
    EXPECT_EQ(row(1) + " " + row(7), "10 5.0 8 -8.0");
}

TEST_F(MainWindow, InputAndOutputRepliesLightLampsAndColourButtons) {
    const auto lamps = [this] {
        QString bits;
        for (Lamp* lamp : w->shpDI)
            bits += lamp->filled() ? '1' : '0';
        return bits;
    };
    const auto buttons = [this] {
        QString bits;
        for (std::size_t k = 1; k <= 8; ++k)
            bits += BackColor(w->cmdDO[k]) == kOnColor ? '1' : '0';
        return bits;
    };
    openPort();
    w->chkDI->setChecked(true);
    w->chkDO->setChecked(true);
    w->chkRead->setChecked(true);
    answer(">0000000010000001\r");
    EXPECT_EQ(lastWrite(), "#01RDO\r");
    answer(">11000001\r");
    EXPECT_EQ(lamps(), "10000001");
    EXPECT_EQ(buttons(), "11000001");

    w->optProtocol[1]->setChecked(true);
    w->chkDO->setChecked(false);
    w->chkRead->setChecked(true);
    EXPECT_EQ(lastWrite(), ":010200080008ED\r\n");
    answer(":01020105F7\r\n");
    EXPECT_EQ(lamps(), "10100000");

    w->optProtocol[2]->setChecked(true);
    w->chkDI->setChecked(false);
    w->chkDO->setChecked(true);
    w->chkRead->setChecked(true);
    EXPECT_EQ(lastWrite(), std::string("\x01\x01\x00\x00\x00\x08\x3D\xCC", 8));
    answer(std::string("\x01\x01\x01\x81\x91\xE8", 6));  // judged at its length
    EXPECT_EQ(w->labReport->text(), "Read OK");
    EXPECT_EQ(buttons(), "10000001");
}

TEST_F(MainWindow, AVanishedAdapterTakesTheWindowOffLine) {
    openPort();
    w->chkDC->setChecked(true);
    w->txtAutoRead->setText("1");
    w->chkRead->setChecked(true);
    port.failInput = "Input/output error";
    tmrRead().Fire();
    EXPECT_EQ(w->labReport->text(), "Off Line");
    EXPECT_EQ(w->labReport->toolTip(), "Input/output error");
    EXPECT_FALSE(w->chkRead->isChecked());
    EXPECT_FALSE(tmrNow().Enabled());
    EXPECT_FALSE(tmrRead().Enabled());
}

TEST_F(MainWindow, TheLineMonitorOpensFromTheViewMenuClosesWithTheWindowAndKeepsItsSize) {
    EXPECT_EQ(w->mnuLine->shortcut(), QKeySequence("Ctrl+L"));
    w->mnuLine->trigger();
    FrmLine* monitor = w->frmLine;
    ASSERT_TRUE(monitor != nullptr && monitor->isVisible() && !monitor->isModal());
    EXPECT_EQ(monitor->windowTitle(), "Tallyscope, Line Monitor");
    monitor->resize(700, 333);
    w->close();  // the program ends with the main window
    EXPECT_FALSE(monitor->isVisible());
    start();
    w->mnuLine->trigger();
    EXPECT_EQ(w->frmLine->size(), QSize(700, 333));
}

}  // namespace
}  // namespace tally::testing
