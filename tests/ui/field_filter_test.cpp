#include "ui/windows/field_filter.h"

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "ui/models/key_filters.h"

namespace tally {
namespace {

// The key filters themselves, without widgets.
using Texts = std::pair<const char*, const char*>;
enum Kind { W, D };  // whole number, decimal

KeyFilterResult run(Kind kind, FieldState field, int key, int limit = 0,
                    const std::optional<std::string>& clipboard = std::nullopt) {
    return kind == W ? FilterWholeNumberKey(field, key, limit, clipboard)
                     : FilterDecimalKey(field, key, limit, clipboard);
}

// The edges of the typing rules the field tests below do not reach: no limit, a point
// over a selection ending at the point or not covering it, a minus over a minus or
// at the limit.
TEST(KeyFilters, TypedKeysFollowTheLimitThePointAndTheMinusRules) {
    const std::tuple<Kind, const char*, int, int, int, int, int> rows[] = {
        {W, "12345", 5, 0, '3', 0, '3'}, {D, "-2", 0, 0, '5', 0, '5'},
        {D, "1.5", 0, 3, '.', 0, '.'},   {D, "1.5", 1, 1, '.', 0, '.'},
        {D, "1.5", 0, 1, '.', 0, 0},     {D, "1.5", 2, 1, '.', 0, 0},
        {D, "12", 1, 0, '.', 2, 0},      {D, "-2", 0, 1, '-', 0, '-'},
        {D, "12", 0, 0, '-', 2, 0}};
    for (const auto& [kind, text, selStart, selLength, key, limit, passed] : rows) {
        const auto result = run(kind, {text, selStart, selLength}, key, limit);
        EXPECT_EQ(result.key, passed) << text << " key " << key;
        EXPECT_FALSE(result.selectAll || result.clipboard);
    }
}

TEST(KeyFilters, PasteTakesNonNegativeNumbersAndCutsAFractionForWholeNumberFields) {
    const auto expectPaste = [](const char* text, int key, std::optional<std::string> cut) {
        const auto whole = run(W, {"12", 2, 0}, kKeyPaste, 2, text);
        const auto decimal = run(D, {"1", 1, 0}, kKeyPaste, 0, text);
        EXPECT_EQ(std::tuple(whole.key, whole.clipboard, decimal.key, decimal.clipboard),
                  std::tuple(key, cut, key, std::nullopt))
            << text;
    };
    const Texts fractions[] = {{"12.7", "12"},   {" 0.25 ", "0"}, {"1.55e1", "15"},
                               {"125e-1", "12"}, {"+007.5", "7"}, {"1e-3", "0"}};
    for (const auto& [text, wholePart] : fractions)
        expectPaste(text, kKeyPaste, wholePart);
    expectPaste("123456789012345678901234567890.1", kKeyPaste, "123456789012345678901234567890");
    for (const char* text : {"12.0", "12345", "1e3", "1.50e1", "-0", "1e9300000000000000000"})
        expectPaste(text, kKeyPaste, std::nullopt);
    for (const char* text : {"-3", "-0.5", "abc", "", "12abc", "1,5", "."})
        expectPaste(text, 0, std::nullopt);
    EXPECT_EQ(run(W, {"1", 1, 0}, kKeyPaste, 2).key, 0);  // nothing on the clipboard
    EXPECT_EQ(run(D, {"1", 1, 0}, kKeyPaste).key, 0);
}

// The filters on real widgets.

class FieldFilterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (QComboBox* combo : {port, station}) {
            combo->setEditable(true);
            InstallWholeNumberFilter(combo, 2);
        }
        preset->setMaxLength(10);
        InstallPresetFilter(preset);
        InstallMultiplierFilter(multiplier);
        raw->setReadOnly(true);
        InstallViewOnlyFilter(raw);
        window.show();
        clip()->clear();
    }
    static QClipboard* clip() { return QGuiApplication::clipboard(); }
    static void paste(QWidget* field) { QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier); }
    static void leave(QLineEdit* field, Qt::FocusReason reason = Qt::TabFocusReason) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(field, &out);
    }
    // The entries of the field's right-click menu, after triggering the one named `run`.
    static QStringList menu(QLineEdit* field, const QString& run = {}) {
        const std::unique_ptr<QMenu> menu(field->findChild<FieldFilter*>()->createContextMenu());
        QStringList labels;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            labels << a->text().remove('&').section('\t', 0, 0);
            if (labels.last() == run) a->trigger();
        }
        return labels;
    }

    QWidget window;
    QComboBox* port = new QComboBox(&window);
    QComboBox* station = new QComboBox(&window);
    QLineEdit* preset = new QLineEdit(&window);
    QLineEdit* multiplier = new QLineEdit(&window);
    QLineEdit* raw = new QLineEdit(&window);
};

// An editable combo box hands key presses to its line edit past the line edit's own filters.
TEST_F(FieldFilterTest, ComboBoxKeysAndContextMenuGoThroughTheFilter) {
    QTest::keyClicks(station, "1x.-2 3+e,");
    EXPECT_EQ(station->currentText(), "12");
    station->lineEdit()->setSelection(1, 1);
    QTest::keyClick(station, Qt::Key_5);
    EXPECT_EQ(station->currentText(), "15");
    QTest::keyClick(station, Qt::Key_Backspace);  // at the limit too
    EXPECT_EQ(station->currentText(), "1");
    QTest::keyClick(station, Qt::Key_Enter);  // would add the text to the list
    EXPECT_EQ(station->count(), 0);

    // A combo box hands its own context-menu event (a right-click on the arrow, the Menu key)
    // straight to its line edit, whose standard menu would paste past the filter.
    clip()->setText("12.7");
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions()) {
            if (action->text().startsWith("&Paste")) action->trigger();
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            port->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(port, &event);
    QCoreApplication::processEvents();  // a menu that does not wait for its choice
    EXPECT_EQ(port->currentText(), "12");
}

TEST_F(FieldFilterTest, MultiplierKeepsOnePointAndALeadingMinusEditsAndIsNormalisedOnLeaving) {
    QSignalSpy returns(multiplier, &QLineEdit::returnPressed);
    QTest::keyClicks(multiplier, "1.5.-+e, a");
    multiplier->home(false);
    QTest::keyClicks(multiplier, "--");
    EXPECT_EQ(multiplier->text(), "-1.5");
    multiplier->setSelection(2, 2);
    QTest::keyClick(multiplier, Qt::Key_Period);
    EXPECT_EQ(multiplier->text(), "-1.");
    for (auto key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Home, Qt::Key_Delete, Qt::Key_End,
                     Qt::Key_Backspace})
        QTest::keyClick(multiplier, key);
    EXPECT_EQ(returns.count(), 0);
    EXPECT_EQ(multiplier->text(), "1");
    for (auto key : {Qt::Key_Z, Qt::Key_A, Qt::Key_X})  // undo, select all, cut
        QTest::keyClick(multiplier, key, Qt::ControlModifier);
    EXPECT_EQ(multiplier->text() + clip()->text(), "1.");

    // Tab and Delete carry control characters as text ("\t", "\x7f") on real keyboards.
    QApplication::setActiveWindow(&window);
    multiplier->setText("12");
    multiplier->setFocus();
    multiplier->home(false);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(multiplier, &del);
    EXPECT_EQ(multiplier->text(), "2");
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    EXPECT_EQ(FilterKeyCode(&tab), kUnfilteredKey);
    QApplication::sendEvent(multiplier, &tab);
    EXPECT_EQ(multiplier->text(), "2.0");  // normalised: the focus has left the field
    // Leaving normalises, but not for a menu or another window.
    multiplier->setText("-3.14159");
    leave(multiplier, Qt::PopupFocusReason);
    leave(multiplier, Qt::ActiveWindowFocusReason);
    EXPECT_EQ(multiplier->text(), "-3.14159");
    leave(multiplier);
    EXPECT_EQ(multiplier->text(), "-3.1416");
}

TEST_F(FieldFilterTest, DisplayCopiesItsWholeTextUnlessPartIsSelectedAndOffersNothingElse) {
    raw->setText("1500");
    QTest::keyClick(raw, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clip()->text(), "1500");
    raw->setSelection(1, 2);
    QTest::keyClick(raw, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clip()->text(), "50");
    raw->deselect();
    EXPECT_EQ(menu(raw, "Copy"), QStringList({"Copy", "Select All"}));
    EXPECT_EQ(clip()->text(), "1500");
}

TEST_F(FieldFilterTest, PasteByKeyOrMenuKeepsToTheRulesAndDropsAreRefused) {
    clip()->setText("-3");
    for (QLineEdit* field : window.findChildren<QLineEdit*>()) {
        paste(field);
        EXPECT_EQ(field->text(), "");
    }
    clip()->setText("12345");
    paste(station);
    EXPECT_EQ(station->currentText(), "12345");
    clip()->setText("12.7");
    paste(port);
    EXPECT_EQ(port->currentText() + " " + clip()->text(), "12 12");
    port->clearEditText();
    clip()->setText("-3");
    menu(port->lineEdit(), "Paste");
    clip()->setText("7.9");
    menu(port->lineEdit(), "Paste");
    EXPECT_EQ(port->currentText(), "7");
    QMimeData data;
    data.setText("abc");
    for (QLineEdit* field : {preset, port->lineEdit()}) {
        EXPECT_FALSE(field->acceptDrops());
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &drop);
    }
    EXPECT_EQ(preset->text() + port->currentText(), "7");
}

}  // namespace
}  // namespace tally
