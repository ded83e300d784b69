// What the window costs while it polls and while it idles: a poll cycle is
// painted once, as it ends, and an idle window runs none of its own timers.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <stdexcept>

#include "ui/paint_hold.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

class WindowPainting : public WindowTest {
  protected:
    // The paint hold's limit: the newest timer of its interval (older ones went
    // with earlier windows).
    ManualTimer& paintLimit() {
        for (auto it = timers.created.rbegin(); it != timers.created.rend(); ++it)
            if ((*it)->Interval() == PaintHold::kLimitMs) return **it;
        throw std::logic_error("no paint limit timer");
    }
};

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

TEST_F(WindowPainting, APollCycleIsPaintedOnceAsItEndsWithEveryStatusTextShownMeanwhile) {
    w->show();
    openPort();
    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);
    w->txtAutoRead->setText("1");
    turn();
    PaintCount paints;
    std::vector<QString> texts;
    int windowPaints = 0;
    for (int cycle = 1; cycle <= 10; ++cycle) {
        // Ticking "Read" paints its box apart from the first cycle.
        if (cycle == 2) {
            windowPaints = w->paintHold().Paints();
            paints.layouts = 0;
        }
        if (cycle == 1) {
            w->chkRead->setChecked(true);
        } else {
            tmrNow().Fire();
        }
        texts.push_back(w->labReport->text());
        turn();
        answer(QStringLiteral(">%1,0,0,0,0,0,0,0\r")
                   .arg(cycle, 8, 16, QLatin1Char('0'))
                   .toStdString());
        texts.push_back(w->labReport->text());
        turn();
        answer(cycle % 2 ? ">0000000011111111\r" : ">0000000000000000\r");
        texts.push_back(w->labReport->text());
        turn();
        ASSERT_EQ(w->txtCTRaw[0]->text(), QString::number(cycle));
        ASSERT_EQ(w->shpDI[0]->filled(), cycle % 2 == 1);
    }
    // What a reader of the status line sees, step by step, is as it always was.
    for (std::size_t i = 0; i < texts.size(); i += 3) {
        EXPECT_EQ(texts[i], "Read DC");
        EXPECT_EQ(texts[i + 1], "Read DI");
        EXPECT_EQ(texts[i + 2], "Read OK");
    }
    // Each of them changed in every cycle, the status line three times.
    EXPECT_EQ(paints.counts[w->labReport], 10);
    EXPECT_EQ(paints.counts[w->txtCTRaw[0]], 10);
    EXPECT_EQ(paints.counts[w->shpDI[0]], 10);
    // The fields, lamps and status line paint what lies under them: their boxes
    // are left alone.
    EXPECT_EQ(paints.counts[w->fmeMonitor], 0);
    EXPECT_EQ(paints.counts[w->fmeDI], 0);
    EXPECT_EQ(paints.counts[w->Frame2], 0);
    // And nothing is laid out anew.
    EXPECT_EQ(paints.layouts, 0);
    EXPECT_EQ(w->paintHold().Paints() - windowPaints, 9);
}

TEST_F(WindowPainting, ASlowLineIsStillPaintedWithinTheLimitAndInputAtOnce) {
    w->show();
    openPort();
    w->chkDC->setChecked(true);
    w->chkRead->setChecked(true);  // "Read DC" on the line, no answer yet
    turn();
    EXPECT_TRUE(w->paintHold().Held());
    // Typing into a field paints at once, reply or not.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
    QCoreApplication::sendEvent(w->txtCTMulti[0], &key);
    EXPECT_FALSE(w->paintHold().Held());
    turn();
    // A reply that takes its time is painted after the limit, not at its end.
    w->txtCTMulti[0]->setText("2.0");
    turn();
    EXPECT_TRUE(w->paintHold().Held());
    const int painted = w->paintHold().Paints();
    ASSERT_TRUE(paintLimit().Fire());
    turn();
    EXPECT_EQ(w->paintHold().Paints(), painted + 1);
    EXPECT_FALSE(paintLimit().Enabled());  // it runs only while something is held
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
    EXPECT_EQ(w->portWatch(), nullptr);
    portFolders = {dir.path().toStdString()};
    start();
    ASSERT_NE(w->portWatch(), nullptr);
    EXPECT_GE(tmrPorts().Interval(), 60000);
    ports = {1, 2, 3};
    QFile link(dir.filePath(QStringLiteral("COM2")));
    ASSERT_TRUE(link.open(QIODevice::WriteOnly));
    link.close();
    QElapsedTimer waited;
    waited.start();
    while (w->cmbCOMM->count() != 3 && waited.elapsed() < 5000)
        turn();
    EXPECT_EQ(w->cmbCOMM->count(), 3);
}

}  // namespace
}  // namespace tally::testing
