// Field and lamp paint their own background: pixel for pixel what they stand in for.
#include <gtest/gtest.h>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <cstdlib>

#include "ui/paint/backdrop.h"
#include "ui/paint/opaque.h"
#include "ui/paint/panel_cache_style.h"
#include "ui/windows/lamp.h"
#include "ui/windows/widget_state.h"

namespace tally::testing {
namespace {

// Two group boxes as in the main window: the display field in one, a stock line edit in the other.
struct Panels {
    Panels() {
        window.resize(440, 120);
        for (int i = 0; i < 2; ++i) {
            boxes[i] = new QGroupBox(QStringLiteral("Monitor"), &window);
            boxes[i]->setGeometry(8 + 220 * i, 4, 200, 80);
            QLineEdit* field = i == 0 ? drawn : new QLineEdit(QStringLiteral("--"));
            field->setParent(boxes[i]);
            field->setGeometry(12, 24, 96, 24);
            field->setReadOnly(true);
            field->setAlignment(Qt::AlignCenter);
            if (i == 0) PanelCacheStyle::Use(field);
            SetBackColor(field, 0xE0E0E0);
            fields[i] = field;
        }
        // The focus rests elsewhere, as on "Open Port" in the main window.
        auto* button = new QPushButton(QStringLiteral("Open Port"), &window);
        button->move(8, 86);
        button->setFocus();
        window.show();
    }
    // Both fields changed alike; whether they still look alike.
    template <typename Change>
    bool alikeAfter(Change change) {
        for (QLineEdit* field : fields)
            change(field);
        QCoreApplication::processEvents();
        return alike();
    }
    QImage picture(int i) { return window.grab(boxes[i]->geometry()).toImage(); }
    // The kept frame is blended, not drawn, onto what lies under it: an edge pixel
    // may round a level apart, never more.
    bool alike() {
        const QImage a = picture(0), b = picture(1);
        if (a.size() != b.size()) return false;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                for (const int shift : {0, 8, 16})  // blue, green, red
                    if (std::abs(int(a.pixel(x, y) >> shift & 0xFF) -
                                 int(b.pixel(x, y) >> shift & 0xFF)) > 1)
                        return false;
        return true;
    }

    QWidget window;
    DisplayField* drawn = new DisplayField(QStringLiteral("--"));
    std::array<QGroupBox*, 2> boxes{};
    std::array<QLineEdit*, 2> fields{};
};

TEST(DisplayField, LooksLikeTheLineEditItStandsFor) {
    Panels panels;
    for (const bool enabled : {true, false}) {
        for (QGroupBox* box : panels.boxes)
            box->setEnabled(enabled);
        // The last is wider than the field.
        for (const char* text : {"0", "--", "4294967295", "-1.5", "0.0", "1234.5678", "1.25E+15",
                                 "-,+.E", "Overflow", "123456789012345678901234567890", ""}) {
            ASSERT_TRUE(panels.alikeAfter([&](QLineEdit* field) {
                field->setText(QString::fromLatin1(text));
            })) << text
                << (enabled ? "" : ", disabled");
        }
    }
    // A new colour, a new font, and the new background under a field moved over the frame.
    EXPECT_TRUE(panels.alikeAfter([](QLineEdit* field) {
        SetBackColor(field, 0xF0F0F0);
        field->setText(QStringLiteral("77.5"));
    }));
    EXPECT_TRUE(panels.alikeAfter(
        [](QLineEdit* field) { field->setFont(QFont(QStringLiteral("Monospace"), 14)); }));
    EXPECT_TRUE(panels.alikeAfter([](QLineEdit* field) { field->move(150, 30); }));
    // A new colour of the box shows around the field's corners.
    EXPECT_TRUE(panels.alikeAfter([](QLineEdit* field) {
        QWidget* box = field->parentWidget();
        QPalette palette = box->palette();
        palette.setColor(QPalette::Window, QColor(0x80, 0xC0, 0x80));
        box->setPalette(palette);
        box->setAutoFillBackground(true);
    }));
    // With the focus, a selection: the line edit's own way, and still alike.
    panels.drawn->setFocus();
    panels.drawn->selectAll();
    panels.fields[1]->setFocus();
    panels.fields[1]->selectAll();
    QCoreApplication::processEvents();
    EXPECT_TRUE(panels.alike());
}

TEST(Backdrop, IsWhatTheWindowShowsWhereTheWidgetStandsInEveryBox) {
    QWidget window;
    window.resize(300, 120);
    auto* framed = new QGroupBox(QStringLiteral("Inputs"), &window);
    framed->setGeometry(8, 4, 140, 100);
    // Flat and borderless, as the main window's input and output groups.
    auto* flat = new QGroupBox(QStringLiteral("Outputs"), &window);
    flat->setFlat(true);
    flat->setStyleSheet(QStringLiteral("QGroupBox { border: none; }"));
    flat->setGeometry(156, 4, 140, 100);
    // One lamp across the framed box's edge, where the frame shows under it.
    std::array<Lamp*, 3> lamps{new Lamp(Qt::red, framed), new Lamp(Qt::red, framed),
                               new Lamp(Qt::red, flat)};
    lamps[0]->setGeometry(20, 30, 18, 18);
    lamps[1]->setGeometry(130, 60, 18, 18);
    lamps[2]->setGeometry(20, 30, 18, 18);
    window.show();
    for (const bool enabled : {true, false}) {
        framed->setEnabled(enabled);
        flat->setEnabled(enabled);
        for (Lamp* lamp : lamps) {
            lamp->setFilled(!lamp->filled());
            QCoreApplication::processEvents();
            const QRect at(lamp->mapTo(&window, QPoint(0, 0)), lamp->size());
            const QImage shown = window.grab(at).toImage();
            lamp->hide();
            const QImage under = window.grab(at).toImage();
            lamp->show();
            Backdrop backdrop;
            EXPECT_EQ(backdrop.Picture(*lamp).toImage().convertToFormat(under.format()), under);
            // Around its circle the lamp shows just that.
            for (const QPoint corner : {QPoint(0, 0), QPoint(at.width() - 1, at.height() - 1)})
                EXPECT_EQ(shown.pixel(corner), under.pixel(corner)) << enabled;
        }
    }
}

}  // namespace
}  // namespace tally::testing
