// With TALLYSCOPE_PLAIN_PAINT=1 the window paints with stock Qt widgets alone,
// as when a Qt upgrade is bisected: every value must still reach the screen.
#include <QCoreApplication>
#include <QTableView>

#include "ui/paint/plain_paint.h"
#include "ui/windows/frm_line.h"
#include "window_fixture.h"

namespace tally::testing {
namespace {

// Before anything asks: the switch is read once.
const bool kPlain = qputenv("TALLYSCOPE_PLAIN_PAINT", "1");

using PlainPaint = WindowTest;

// What a stock line edit in the field's place, with its text, shows.
QImage stockPicture(const QLineEdit& field) {
    QLineEdit stock(field.text(), field.parentWidget());
    stock.setGeometry(field.geometry());
    stock.setPalette(field.palette());
    stock.setAlignment(field.alignment());
    stock.setReadOnly(true);
    return stock.grab().toImage();
}

TEST_F(PlainPaint, TheWindowShowsEveryValueWithStockWidgets) {
    ASSERT_TRUE(kPlain && !Uses(Technique::Backdrop) && !Uses(Technique::Slot));
    w->show();
    openAndRead({w->chkDC, w->chkDI});
    answer(">00000010,0000000A,0,0,0,0,0,FFFFFFFF\r");
    answer(">0000000010100000\r");
    QCoreApplication::processEvents();
    EXPECT_EQ(w->labReport->text(), "Read OK");
    EXPECT_EQ(w->labReport->parentWidget(), w->Frame2);  // no slot of its own
    EXPECT_EQ(w->txtCTRaw[0]->text() + " " + w->txtCTRaw[7]->text(), "16 4294967295");
    EXPECT_TRUE(w->shpDI[0]->filled() && !w->shpDI[1]->filled());
    for (QLineEdit* field : {w->txtCTRaw[0], w->txtCTVal[1], w->txtCTRaw[7]}) {
        EXPECT_FALSE(field->testAttribute(Qt::WA_OpaquePaintEvent));
        EXPECT_EQ(field->grab().toImage(), stockPicture(*field)) << field->text().toStdString();
    }
    // The line monitor draws its cells the view's own way.
    w->findChild<QAction*>(QStringLiteral("mnuLine"))->trigger();
    auto* table = w->findChild<QTableView*>(QStringLiteral("tblLine"));
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->showGrid());
    EXPECT_GT(table->model()->rowCount(), 0);
}

}  // namespace
}  // namespace tally::testing
