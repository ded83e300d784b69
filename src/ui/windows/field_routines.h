// Shared field routines: select a field's whole text, normalise a numeric
// field when it is left, and set how far a drop-down list opens.
#pragma once

class QComboBox;
class QLineEdit;

namespace tally {

// Display formats of the numeric fields: "0.0###" and "0.0##".
inline constexpr int kMultiplierDecimals = 4;
inline constexpr double kMultiplierLow = -10000.0;
inline constexpr double kMultiplierHigh = 10000.0;
inline constexpr int kPresetDecimals = 3;
inline constexpr double kPresetLow = 0.0;
inline constexpr double kPresetHigh = 4294967295.0;  // eight hex digits of a preset command

// Selection start 0, selection length = the text's length.
void SelectAllText(QLineEdit* field);
void SelectAllText(QComboBox* field);  // an editable combo box; no effect otherwise

// The field's text becomes its leading number, clamped to lo..hi (when hi > lo),
// with one to maxDecimals decimals. A field under a FieldFilter takes the value
// whole ("4294967295.0" is twelve characters in a ten-character field).
void ClampAndFormatField(QLineEdit* field, int maxDecimals, double lo, double hi);

// The combo box's list opens this many pixels tall; the combo box itself stays
// where the layout puts it.
void SetDropDownHeight(QComboBox* combo, int pixels);

}  // namespace tally
