// Key-by-key filters of the entry fields: whole numbers (port, station,
// interval, preset), signed decimals (multipliers) and view-only displays.
//
// A filter sees the field and the character code about to be entered and says
// whether the key goes through, plus what it asks of the field and clipboard.
// Qt-free; field_filter.h maps real key presses onto these.
#pragma once

#include <optional>
#include <string>

namespace tally {

// Character codes the filters know besides digits, "." and "-".
enum KeyCode : int {
    kKeyDiscarded = 0,
    kKeySelectAll = 1,  // Ctrl+A
    kKeyCopy = 3,       // Ctrl+C
    kKeyBackspace = 8,
    kKeyPaste = 22,  // Ctrl+V
    kKeyCut = 24,    // Ctrl+X
    kKeyUndo = 26,   // Ctrl+Z
};

// One character per position: the Qt side passes Latin-1 text so positions match.
struct FieldState {
    std::string text;
    int selStart = 0;   // caret or first selected character, 0-based
    int selLength = 0;  // 0 = nothing selected
};

struct KeyFilterResult {
    int key = kKeyDiscarded;               // the key to let through; 0 = discarded
    bool selectAll = false;                // select the field's whole text first
    std::optional<std::string> clipboard;  // new clipboard text, if it changes
};

// lengthLimit 0 = no limit; clipboard nullopt = no text on the clipboard.
KeyFilterResult FilterWholeNumberKey(const FieldState& field, int key, int lengthLimit,
                                     const std::optional<std::string>& clipboard);
KeyFilterResult FilterDecimalKey(const FieldState& field, int key, int lengthLimit,
                                 const std::optional<std::string>& clipboard);
KeyFilterResult FilterViewOnlyKey(const FieldState& field, int key);

// The whole part, rounded down, of a numeric text as plain decimal digits, exact
// whatever its size, and whether the text had a non-zero fraction. nullopt when
// the text fails the numeric test or is negative.
struct WholePart {
    std::string digits;
    bool hadFraction = false;
};
std::optional<WholePart> NonNegativeWholePart(const std::string& text);

}  // namespace tally
