// Colours and busy markers as the window logic reads and writes them.
//
// A back colour is kept as a property beside the palette colour that shows it,
// so the logic (and the tests) read back exactly the value that was set.
#pragma once

#include <QRgb>
#include <QWidget>

namespace tally {

constexpr QRgb kOnColor = 0xFF8080;
constexpr QRgb kOffColor = 0xE0E0E0;

// A value on show that the latest read of its kind has not confirmed is drawn in
// grey until a good read replaces it: the text of a field, and an input lamp or an
// output button that was on when last known, filled with this grey instead.
constexpr QRgb kUnconfirmedTextColor = 0x808080;
constexpr QRgb kUnconfirmedOnColor = 0xC0C0C0;

void SetBackColor(QWidget* widget, QRgb rgb);
QRgb BackColor(const QWidget* widget);

// The text of a field (or the caption of a button) in the normal colour, or in
// kUnconfirmedTextColor; a disabled control keeps its disabled look either way.
void SetConfirmed(QWidget* widget, bool confirmed);
bool IsConfirmed(const QWidget* widget);

// A group is busy while it shows the hourglass; its clicks are ignored then.
void SetBusy(QWidget* widget, bool busy);
bool IsBusy(const QWidget* widget);

}  // namespace tally
