// The extra windows' texts are seen whole at their first size, on a desktop-sized
// offscreen screen (desktop_screen.json) where a window may take the width it asks for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>

#include "protocol/frames.h"
#include "ui/models/line_history.h"
#include "ui/windows/frm_line.h"
#include "ui/windows/frm_log.h"

namespace tally {
namespace {

// Laid out as the operator sees it, at the window's own first size.
void ShowAndLayOut(QWidget& window) {
    window.show();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// The label shows its whole text where the layout put it (wrapped or not).
void ExpectWhole(const QLabel* label) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_TRUE(label->isVisible());
    const int height =
        label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
    EXPECT_LE(height, label->height()) << label->text().toStdString();
    if (!label->wordWrap()) {
        EXPECT_LE(label->sizeHint().width(), label->width());
    }
    // Nothing of it outside the window.
    const QRect inWindow(label->mapTo(label->window(), QPoint(0, 0)), label->size());
    EXPECT_TRUE(label->window()->rect().contains(inWindow));
}

TEST(CounterLogWindow, TheFileFieldHasALabelAndALongStatusIsShownWhole) {
    LineEvents events;
    FrmLog window(events, [] { return LogContext(); });
    ShowAndLayOut(window);
    ASSERT_NE(window.labLogFile, nullptr);
    EXPECT_EQ(window.labLogFile->buddy(), window.txtLogFile);
    ExpectWhole(window.labLogFile);
    ExpectWhole(window.labLogState);

    // A failure that names a long path takes several lines: the window makes room.
    QTemporaryDir dir;
    const QString path = dir.filePath(
        QStringLiteral("a-folder-that-is-not-there/with/a/long/path/for/the/counter/log/of/"
                       "the/second/filling/line/in/hall/three/counters.csv"));
    window.txtLogFile->setText(path);
    window.cmdLogStart->click();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window.labLogState->text().contains(path));
    ExpectWhole(window.labLogState);
}

// A counter read and an output write in each protocol, each answered with its own
// bytes and a long status.
std::vector<LineEvent> TypicalRows() {
    std::vector<LineEvent> rows;
    for (const Protocol protocol : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu}) {
        for (const Request& request : {ReadCountersRequest(), ToggleOutputRequest(3, 0)}) {
            LineEvent event;
            event.protocol = protocol;
            event.bytes = BuildFrame(protocol, "01", request).value_or(std::string());
            event.utcMs = 1'782'893'094'123;
            rows.push_back(event);
            event.type = LineEvent::Type::Outcome;
            event.statusText = "Read DC Status OK";
            event.replyMs = 312.5;
            rows.push_back(event);
        }
    }
    return rows;
}

TEST(LineMonitorWindow, EveryColumnHoldsATypicalRowAndTheWindowEveryColumn) {
    LineHistory history;
    for (const LineEvent& event : TypicalRows())
        history.OnLineEvent(event);
    history.Model().Commit();
    FrmLine window(history);
    ShowAndLayOut(window);
    QTableView* table = window.tblLine;
    QHeaderView* header = table->horizontalHeader();
    for (int column = 0; column < LineModel::ColumnCount; ++column) {
        SCOPED_TRACE(header->model()->headerData(column, Qt::Horizontal).toString().toStdString());
        // The widest cell in view, as the delegate asks for it, and the heading.
        const int cells = static_cast<QAbstractItemView*>(table)->sizeHintForColumn(column);
        EXPECT_LE(cells, table->columnWidth(column));
        EXPECT_LE(header->sectionSizeHint(column), table->columnWidth(column));
    }
    // Nothing beyond the right edge: "Reply ms" is in view without scrolling.
    EXPECT_LE(header->length(), table->viewport()->width());
    EXPECT_LE(window.width(), window.screen()->availableSize().width());
    for (const QLabel* label : window.findChildren<QLabel*>())
        ExpectWhole(label);
}

}  // namespace
}  // namespace tally
