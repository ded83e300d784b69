#include "ui/field_filter.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "ui/field_routines.h"

namespace tally {
namespace {

QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

void leave(QLineEdit* field, Qt::FocusReason reason = Qt::TabFocusReason) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(field, &out);
}

void paste(QWidget* field) {
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
}

QAction* action(QMenu* menu, const QString& label) {
    for (QAction* a : menu->actions()) {
        if (a->text().remove('&').startsWith(label)) return a;
    }
    return nullptr;
}

// The window's fields in a shown window, as the operator meets them.
class FieldFilterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        for (QComboBox** combo : {&port, &station}) {
            *combo = new QComboBox;
            (*combo)->setEditable(true);
            layout->addWidget(*combo);
        }
        interval = new QLineEdit;
        interval->setMaxLength(2);
        preset = new QLineEdit;
        preset->setMaxLength(10);
        multiplier = new QLineEdit;
        multiplier->setMaxLength(10);
        raw = new QLineEdit;
        raw->setReadOnly(true);
        for (QLineEdit* field : {interval, preset, multiplier, raw})
            layout->addWidget(field);
        InstallWholeNumberFilter(port, 2);
        InstallWholeNumberFilter(station, 2);
        InstallWholeNumberFilter(interval, 2);
        InstallPresetFilter(preset);
        InstallMultiplierFilter(multiplier);
        InstallViewOnlyFilter(raw);
        window->show();
        clipboard()->clear();
    }

    std::unique_ptr<QWidget> window;
    QComboBox* port = nullptr;
    QComboBox* station = nullptr;
    QLineEdit* interval = nullptr;
    QLineEdit* preset = nullptr;
    QLineEdit* multiplier = nullptr;
    QLineEdit* raw = nullptr;
};

TEST_F(FieldFilterTest, ThirdDigitInTheStationIsRefusedUnlessTextIsSelected) {
    QTest::keyClicks(station, "123");
    EXPECT_EQ(station->currentText(), "12");
    station->lineEdit()->setSelection(1, 1);
    QTest::keyClick(station, Qt::Key_5);
    EXPECT_EQ(station->currentText(), "15");
    QTest::keyClicks(station->lineEdit(), "x.-9 ");
    EXPECT_EQ(station->currentText(), "15");
}

TEST_F(FieldFilterTest, PastingAFractionIntoThePortPastesItsWholePart) {
    clipboard()->setText("12.7");
    paste(port);
    EXPECT_EQ(port->currentText(), "12");
    EXPECT_EQ(clipboard()->text(), "12");

    port->clearEditText();
    clipboard()->setText("99999999999.5");
    paste(port);
    EXPECT_EQ(port->currentText(), "99999999999");
    EXPECT_EQ(clipboard()->text(), "99999999999");
}

TEST_F(FieldFilterTest, PastingWholeValuesKeepsTheirTextAndIgnoresTheTypingLimit) {
    clipboard()->setText("12.0");
    paste(port);
    EXPECT_EQ(port->currentText(), "12.0");
    clipboard()->setText("12345");
    paste(station);
    EXPECT_EQ(station->currentText(), "12345");
}

TEST_F(FieldFilterTest, NegativeOrEmptyClipboardPastesNothingAnywhere) {
    clipboard()->setText("-3");
    for (QWidget* field :
         std::initializer_list<QWidget*>{port, station, interval, preset, multiplier, raw}) {
        paste(field);
    }
    EXPECT_EQ(port->currentText(), "");
    EXPECT_EQ(station->currentText(), "");
    for (QLineEdit* field : {interval, preset, multiplier, raw})
        EXPECT_EQ(field->text(), "");
    clipboard()->clear();
    paste(multiplier);
    EXPECT_EQ(multiplier->text(), "");
}

TEST_F(FieldFilterTest, MultiplierTakesOnePointAndALeadingMinus) {
    QTest::keyClicks(multiplier, "1.5.");
    EXPECT_EQ(multiplier->text(), "1.5");
    multiplier->selectAll();
    QTest::keyClick(multiplier, Qt::Key_Period);
    EXPECT_EQ(multiplier->text(), ".");
    multiplier->setText("-2");
    multiplier->setCursorPosition(0);
    QTest::keyClick(multiplier, Qt::Key_Minus);
    EXPECT_EQ(multiplier->text(), "-2");
    multiplier->setText("2");
    QTest::keyClick(multiplier, Qt::Key_Minus);  // caret at the end
    EXPECT_EQ(multiplier->text(), "2");
    multiplier->setCursorPosition(0);
    QTest::keyClick(multiplier, Qt::Key_Minus);
    EXPECT_EQ(multiplier->text(), "-2");
}

TEST_F(FieldFilterTest, EnterAndEscapeDoNothing) {
    QSignalSpy returns(interval, &QLineEdit::returnPressed);
    interval->setText("5");
    QTest::keyClick(interval, Qt::Key_Return);
    QTest::keyClick(interval, Qt::Key_Escape);
    EXPECT_EQ(returns.count(), 0);
    EXPECT_EQ(interval->text(), "5");
    // An editable combo box would otherwise add its text to the list.
    port->setEditText("3");
    QTest::keyClick(port, Qt::Key_Enter);
    EXPECT_EQ(port->count(), 0);
}

TEST_F(FieldFilterTest, NavigationDeleteAndEditingShortcutsStillWork) {
    QTest::keyClicks(interval, "12");
    QTest::keyClick(interval, Qt::Key_Home);
    QTest::keyClick(interval, Qt::Key_Delete);
    EXPECT_EQ(interval->text(), "2");
    QTest::keyClick(interval, Qt::Key_End);
    QTest::keyClick(interval, Qt::Key_Backspace);
    EXPECT_EQ(interval->text(), "");
    QTest::keyClick(interval, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(interval->text(), "2");
    QTest::keyClick(interval, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(interval->selectedText(), "2");
    QTest::keyClick(interval, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(interval->text(), "");
    EXPECT_EQ(clipboard()->text(), "2");
}

TEST_F(FieldFilterTest, DisplayCopiesItsWholeTextWhenNothingIsSelected) {
    raw->setText("1500");
    raw->setCursorPosition(2);
    QTest::keyClick(raw, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard()->text(), "1500");
    raw->setSelection(1, 2);
    QTest::keyClick(raw, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard()->text(), "50");
}

TEST_F(FieldFilterTest, DisplayMenuOffersOnlyCopyAndSelectAll) {
    raw->setText("1500");
    const std::unique_ptr<QMenu> menu(raw->findChild<FieldFilter*>()->createContextMenu());
    QStringList labels;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) labels << a->text().remove('&').section('\t', 0, 0);
    }
    EXPECT_EQ(labels, QStringList({"Copy", "Select All"}));
    action(menu.get(), "Copy")->trigger();
    EXPECT_EQ(clipboard()->text(), "1500");
}

TEST_F(FieldFilterTest, MenuPasteGoesThroughTheFilter) {
    FieldFilter* filter = port->lineEdit()->findChild<FieldFilter*>();
    ASSERT_NE(filter, nullptr);
    clipboard()->setText("-3");
    std::unique_ptr<QMenu> menu(filter->createContextMenu());
    action(menu.get(), "Paste")->trigger();
    EXPECT_EQ(port->currentText(), "");
    clipboard()->setText("7.9");
    menu.reset(filter->createContextMenu());
    action(menu.get(), "Paste")->trigger();
    EXPECT_EQ(port->currentText(), "7");
}

TEST_F(FieldFilterTest, DroppedTextIsRefused) {
    EXPECT_FALSE(interval->acceptDrops());
    QMimeData data;
    data.setText("abc");
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(interval, &drop);
    EXPECT_EQ(interval->text(), "");
}

TEST_F(FieldFilterTest, LeavingAMultiplierOrThePresetNormalisesIt) {
    QSignalSpy normalised(multiplier->findChild<FieldFilter*>(), &FieldFilter::normalised);
    for (const auto& [typed, shown] :
         {std::pair{"", "0.0"}, std::pair{"-", "0.0"}, std::pair{".", "0.0"},
          std::pair{"-3.14159", "-3.1416"}, std::pair{"15000", "10000.0"}}) {
        multiplier->setText(typed);
        leave(multiplier);
        EXPECT_EQ(multiplier->text(), shown) << typed;
    }
    EXPECT_EQ(normalised.count(), 5);
    preset->setText("9999999999");
    leave(preset);
    EXPECT_EQ(preset->text(), "4294967295.0");  // not cut to the ten typed characters
    // A menu opening over the field is not leaving it.
    multiplier->setText("2");
    leave(multiplier, Qt::PopupFocusReason);
    EXPECT_EQ(multiplier->text(), "2");
}

TEST(FieldRoutines, SelectAllTextOnAnEmptyFieldSelectsNothing) {
    QLineEdit empty;
    SelectAllText(&empty);
    EXPECT_EQ(empty.cursorPosition(), 0);
    EXPECT_FALSE(empty.hasSelectedText());
    QComboBox combo;
    combo.setEditable(true);
    combo.setEditText("123");
    SelectAllText(&combo);
    EXPECT_EQ(combo.lineEdit()->selectedText(), "123");
    QComboBox fixed;
    SelectAllText(&fixed);  // no line edit: nothing to do
}

TEST(FieldRoutines, ClampAndFormatFieldRewritesTheText) {
    QLineEdit field("--");
    ClampAndFormatField(&field, kPresetDecimals, kPresetLow, kPresetHigh);
    EXPECT_EQ(field.text(), "0.0");
}

TEST(FieldRoutines, DropDownListOpensToTheGivenHeightAndTheComboStaysPut) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* few = new QComboBox;
    few->addItems({"1", "2", "3"});
    auto* many = new QComboBox;
    for (int i = 0; i < 32; ++i)
        many->addItem(QString::number(i));
    layout->addWidget(few);
    layout->addWidget(many);
    window.resize(200, 400);
    window.show();
    const QRect fewAt = few->geometry();
    const QRect manyAt = many->geometry();
    SetDropDownHeight(few, 150);
    SetDropDownHeight(many, 255);
    EXPECT_EQ(few->geometry(), fewAt);
    EXPECT_EQ(many->geometry(), manyAt);
    for (auto [combo, height] : {std::pair{few, 150}, std::pair{many, 255}}) {
        combo->showPopup();
        EXPECT_EQ(combo->view()->window()->height(), height);
        combo->hidePopup();
    }
}

}  // namespace
}  // namespace tally

int main(int argc, char** argv) {
    // Widget tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
