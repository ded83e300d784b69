// Puts the key filters between real key presses and an entry field.
//
// Typed characters, the editing shortcuts and the field's own right-click menu
// all go through the filter; drops, input-method text and middle-click paste,
// which would bypass it, are refused. Navigation keys (arrows, Home, End, Tab,
// Page Up/Down) and Delete reach the field untouched: they cannot bring text in.
#pragma once

#include <QObject>

class QComboBox;
class QEvent;
class QKeyEvent;
class QLineEdit;
class QMenu;

namespace tally {

// Character code of a key press for the filters, or kUnfilteredKey when the key
// is left to the field (navigation, Delete, function keys).
inline constexpr int kUnfilteredKey = -1;
int FilterKeyCode(const QKeyEvent* event);

class FieldFilter : public QObject {
    Q_OBJECT
  public:
    enum class Kind { WholeNumber, Decimal, ViewOnly };

    // Owned by the field and installed on it. An editable combo box takes the
    // key presses itself and hands them to its line edit directly, so it is
    // passed as keySource and watched too.
    //
    // The filter takes over the field's maximum length: typed and pasted text
    // keeps to it, while text the program sets (a value from the settings file,
    // a normalised "4294967295.0") is never cut and never widens the limit.
    FieldFilter(QLineEdit* field, Kind kind, int lengthLimit, QWidget* keySource = nullptr);

    // Normalise the text with ClampAndFormatField when the field loses the focus.
    void setFocusLossClamp(int maxDecimals, double lo, double hi);

    // Runs the filter for one character code; performs its select-all and
    // clipboard changes and returns whether the key goes through to the field.
    bool filterKey(int key);

    // The right-click menu: only what the filter allows, each entry filtered.
    QMenu* createContextMenu();

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void runAction(int key);
    // The clipboard's text replaces the selection, cut to what the maximum length leaves.
    void paste();
    // Characters typed at the caret that still fit within the maximum length.
    int room() const;

    bool filterKeyEvent(QEvent* event);
    bool showContextMenu(QEvent* event);

    QLineEdit* m_field;
    QWidget* m_keySource;
    Kind m_kind;
    int m_lengthLimit;
    int m_maxLength = 0;  // 0 = none
    bool m_clamp = false;
    int m_maxDecimals = 0;
    double m_lo = 0.0;
    double m_hi = 0.0;
};

// One filter per field; lengthLimit 0 = no limit.
FieldFilter* InstallWholeNumberFilter(QLineEdit* field, int lengthLimit);
FieldFilter* InstallWholeNumberFilter(QComboBox* field, int lengthLimit);
FieldFilter* InstallDecimalFilter(QLineEdit* field, int lengthLimit);
FieldFilter* InstallViewOnlyFilter(QLineEdit* field);

// A multiplier: signed decimal, normalised to -10000..10000 with up to 4 decimals.
FieldFilter* InstallMultiplierFilter(QLineEdit* field);
// The preset: whole number, normalised to 0..4294967295 with up to 3 decimals.
FieldFilter* InstallPresetFilter(QLineEdit* field);

}  // namespace tally
