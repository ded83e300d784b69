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

void SetBackColor(QWidget* widget, QRgb rgb);
QRgb BackColor(const QWidget* widget);

// A group is busy while it shows the hourglass; its clicks are ignored then.
void SetBusy(QWidget* widget, bool busy);
bool IsBusy(const QWidget* widget);

}  // namespace tally
