// What the window costs while it polls and while it idles: a poll cycle repaints
// only what it changed, and an idle window runs none of its own timers.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <algorithm>

#include "window_fixture.h"

namespace tally::testing {
namespace {

using WindowPainting = WindowTest;

// Counts the paints each control receives, and the layout requests anything in
// the program receives.
class PaintCount : public QObject {
  public:
    PaintCount() { QCoreApplication::instance()->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++counts[watched];
        if (event->type() == QEvent::LayoutRequest) ++layouts;
        return false;
    }
    std::map<QObject*, int> counts;
    int layouts = 0;
};

// One turn of the event loop, as between two bytes from the line.
void turn() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Polling stays cheap: no text is set again unchanged, colours are palette colours
// (never style sheets), texts that change often sit in fixed slots (StillSlot), and
// what changes paints what lies under it (Opaque, Lamp) instead of its group box.
TEST_F(WindowPainting, APollCycleRepaintsWhatChangedAloneAndLaysNothingOut) {
    w->show();
    openPort();
    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);
    w->txtAutoRead->setText("1");
    turn();
    PaintCount paints;
    QString texts;  // the status line at each step
    for (int cycle = 1; cycle <= 10; ++cycle) {
        if (cycle == 2) paints.layouts = 0;  // ticking "Read" laid its box out
        if (cycle == 1)
            w->chkRead->setChecked(true);
        else
            tmrNow().Fire();
        texts += w->labReport->text() + "|";
        turn();
        // The last two cycles read what the eighth did.
        const int value = std::min(cycle, 8);
        answer(QStringLiteral(">%1,0,0,0,0,0,0,0\r")
                   .arg(value, 8, 16, QLatin1Char('0'))
                   .toStdString());
        texts += w->labReport->text() + "|";
        turn();
        answer(value % 2 ? ">0000000011111111\r" : ">0000000000000000\r");
        texts += w->labReport->text() + "|";
        turn();
        ASSERT_EQ(w->txtCTRaw[0]->text(), QString::number(value));
        ASSERT_EQ(w->shpDI[0]->filled(), value % 2 == 1);
    }
    EXPECT_EQ(texts, QString("Read DC|Read DI|Read OK|").repeated(10));
    // One paint a change, none for a value read again.
    EXPECT_EQ(paints.counts[w->labReport], 30);
    EXPECT_EQ(paints.counts[w->txtCTRaw[0]], 8);
    EXPECT_EQ(paints.counts[w->shpDI[0]], 8);
    EXPECT_EQ(paints.counts[w->txtCTRaw[1]], 1);  // "--" to 0
    EXPECT_EQ(paints.counts[w->fmeMonitor] + paints.counts[w->fmeDI] + paints.counts[w->Frame2], 0);
    EXPECT_EQ(paints.layouts, 0);
}

TEST_F(WindowPainting, AnIdleWindowRunsNoTimerOfItsOwnAndWatchesThePortFolders) {
    const auto polling = [this] {
        return tmrRead().Enabled() || tmrNow().Enabled() ||
               static_cast<ManualTimer&>(*w->tmrProbe).Enabled();
    };
    EXPECT_FALSE(polling());
    openPort();
    w->chkDC->setChecked(true);
    EXPECT_FALSE(polling() || tmrPorts().Enabled());  // on line, not reading
    w->chkRead->setChecked(true);
    answer(">0,0,0,0,0,0,0,0\r");  // a single read
    EXPECT_FALSE(polling());
    w->cmdCOMM->click();
    EXPECT_FALSE(polling());

    // With the port folders watched the list follows them, and the timer only
    // looks once a minute in case a device appears elsewhere.
    portFolders = {dir.path().toStdString()};
    start();
    EXPECT_GE(tmrPorts().Interval(), 60000);
    ports = {1, 2, 3};
    ASSERT_TRUE(QFile(dir.filePath(QStringLiteral("COM2"))).open(QIODevice::WriteOnly));
    QElapsedTimer waited;
    waited.start();
    while (w->cmbCOMM->count() != 3 && waited.elapsed() < 5000)
        turn();
    EXPECT_EQ(w->cmbCOMM->count(), 3);
}

}  // namespace
}  // namespace tally::testing
