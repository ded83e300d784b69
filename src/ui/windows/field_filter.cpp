#include "ui/windows/field_filter.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>
#include <memory>

#include "ui/models/key_filters.h"
#include "ui/windows/field_routines.h"

namespace tally {
namespace {

constexpr int kKeyRedo = 25;              // Ctrl+Y: not a key any filter takes
constexpr int kNotACharacter = 0x110000;  // several characters at once: always refused
constexpr int kNoMaxLength = 32767;       // QLineEdit's default: no limit of its own

FieldState stateOf(const QLineEdit* field) {
    // Latin-1 keeps one byte per character, so positions and lengths match the field.
    FieldState state;
    state.text = field->text().toLatin1().toStdString();
    if (field->hasSelectedText()) {
        state.selStart = field->selectionStart();
        state.selLength = static_cast<int>(field->selectedText().size());
    } else {
        state.selStart = field->cursorPosition();
    }
    return state;
}

std::optional<std::string> clipboardText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

QString withShortcut(const QString& label, QKeySequence::StandardKey key) {
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    return shortcut.isEmpty() ? label : label + '\t' + shortcut;
}

FieldFilter* install(QLineEdit* field, FieldFilter::Kind kind, int lengthLimit) {
    if (!field) return nullptr;
    return new FieldFilter(field, kind, lengthLimit);
}

}  // namespace

int FilterKeyCode(const QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) return kKeySelectAll;
    if (event->matches(QKeySequence::Copy)) return kKeyCopy;
    if (event->matches(QKeySequence::Paste)) return kKeyPaste;
    if (event->matches(QKeySequence::Cut)) return kKeyCut;
    if (event->matches(QKeySequence::Undo)) return kKeyUndo;
    if (event->matches(QKeySequence::Redo)) return kKeyRedo;
    const int key = event->key();
    switch (key) {
        case Qt::Key_Backspace:
            return kKeyBackspace;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return '\r';
        case Qt::Key_Escape:
            return 27;
        // Moving about and deleting bring no text in; some of these keys carry a
        // control character as text ("\t", "\x7f") that must not reach the filter.
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return kUnfilteredKey;
        default:
            break;
    }
    const auto modifiers = event->modifiers();
    if ((modifiers & (Qt::ControlModifier | Qt::MetaModifier)) && key >= Qt::Key_A &&
        key <= Qt::Key_Z) {
        return key - Qt::Key_A + 1;
    }
    const QString text = event->text();
    if (text.isEmpty()) return kUnfilteredKey;
    return text.size() == 1 ? text.at(0).unicode() : kNotACharacter;
}

FieldFilter::FieldFilter(QLineEdit* field, Kind kind, int lengthLimit, QWidget* keySource)
    : QObject(field),
      m_field(field),
      m_keySource(keySource),
      m_kind(kind),
      m_lengthLimit(lengthLimit) {
    // The widget's own limit would also cut text the program sets.
    if (m_field->maxLength() < kNoMaxLength) {
        m_maxLength = m_field->maxLength();
        m_field->setMaxLength(kNoMaxLength);
    }
    // Drops would put text in the field unseen by the filter.
    m_field->setAcceptDrops(false);
    m_field->installEventFilter(this);
    if (m_keySource) {
        m_keySource->setAcceptDrops(false);
        m_keySource->installEventFilter(this);
    }
}

void FieldFilter::setFocusLossClamp(int maxDecimals, double lo, double hi) {
    m_clamp = true;
    m_maxDecimals = maxDecimals;
    m_lo = lo;
    m_hi = hi;
}

bool FieldFilter::filterKey(int key) {
    const FieldState state = stateOf(m_field);
    KeyFilterResult result;
    switch (m_kind) {
        case Kind::WholeNumber:
            result = FilterWholeNumberKey(state, key, m_lengthLimit,
                                          key == kKeyPaste ? clipboardText() : std::nullopt);
            break;
        case Kind::Decimal:
            result = FilterDecimalKey(state, key, m_lengthLimit,
                                      key == kKeyPaste ? clipboardText() : std::nullopt);
            break;
        case Kind::ViewOnly:
            result = FilterViewOnlyKey(state, key);
            break;
    }
    if (result.selectAll) SelectAllText(m_field);
    if (result.clipboard) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(*result.clipboard));
    }
    // A typed character must also fit; the control codes bring no character of their own.
    if (result.key >= ' ' && result.key != 127 && room() < 1) return false;
    return result.key != kKeyDiscarded;
}

int FieldFilter::room() const {
    if (m_maxLength <= 0) return kNoMaxLength;
    const auto kept = m_field->text().size() - m_field->selectedText().size();
    return m_maxLength - static_cast<int>(kept);
}

void FieldFilter::paste() {
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty() && !m_field->hasSelectedText()) return;
    m_field->insert(text.left(std::max(0, room())));
}

void FieldFilter::runAction(int key) {
    if (!filterKey(key)) return;
    switch (key) {
        case kKeyUndo:
            m_field->undo();
            break;
        case kKeyCut:
            m_field->cut();
            break;
        case kKeyCopy:
            m_field->copy();
            break;
        case kKeyPaste:
            paste();
            break;
        case kKeySelectAll:
            m_field->selectAll();
            break;
        default:
            break;
    }
}

QMenu* FieldFilter::createContextMenu() {
    auto* menu = new QMenu(m_field);
    const bool editable = m_kind != Kind::ViewOnly && !m_field->isReadOnly();
    const bool selected = m_field->hasSelectedText();
    const auto add = [this, menu](const QString& label, QKeySequence::StandardKey shortcut, int key,
                                  bool enabled) {
        QAction* action = menu->addAction(withShortcut(label, shortcut));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, key] { runAction(key); });
    };
    if (editable) {
        add(tr("&Undo"), QKeySequence::Undo, kKeyUndo, m_field->isUndoAvailable());
        menu->addSeparator();
        add(tr("Cu&t"), QKeySequence::Cut, kKeyCut, selected);
    }
    // A display field copies its whole text when nothing is selected.
    add(tr("&Copy"), QKeySequence::Copy, kKeyCopy, selected || m_kind == Kind::ViewOnly);
    if (editable) {
        add(tr("&Paste"), QKeySequence::Paste, kKeyPaste, clipboardText().has_value());
        QAction* remove = menu->addAction(tr("Delete"));
        remove->setEnabled(selected);
        connect(remove, &QAction::triggered, m_field, &QLineEdit::del);
    }
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, kKeySelectAll, !m_field->text().isEmpty());
    return menu;
}

bool FieldFilter::showContextMenu(QEvent* event) {
    const std::unique_ptr<QMenu> menu(createContextMenu());
    menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
}

bool FieldFilter::filterKeyEvent(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = FilterKeyCode(static_cast<QKeyEvent*>(event));
        if (key == kUnfilteredKey) return false;
        if (!filterKey(key)) return true;
        if (key != kKeyPaste) return false;
        paste();  // the field's own paste would not keep to the maximum length
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        // Composed text would arrive without a key press to filter.
        return !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty();
    }
    return false;
}

bool FieldFilter::eventFilter(QObject* watched, QEvent* event) {
    if (m_keySource && watched == m_keySource) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop) {
            event->ignore();
            return true;
        }
        // A combo box hands its context-menu event (a right-click on the arrow, the
        // Menu key) straight to the line edit's standard menu, past this filter.
        if (event->type() == QEvent::ContextMenu) return showContextMenu(event);
        return filterKeyEvent(event);
    }
    if (watched != m_field) return false;
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::InputMethod:
            return filterKeyEvent(event);
        case QEvent::ContextMenu:
            return showContextMenu(event);
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            // Middle-click pastes the X11 selection past the filter.
            return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            event->ignore();
            return true;
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            // A menu opening or another window becoming active is not leaving the field.
            if (m_clamp && reason != Qt::PopupFocusReason &&
                reason != Qt::ActiveWindowFocusReason) {
                ClampAndFormatField(m_field, m_maxDecimals, m_lo, m_hi);
            }
            return false;
        }
        default:
            return false;
    }
}

FieldFilter* InstallWholeNumberFilter(QLineEdit* field, int lengthLimit) {
    return install(field, FieldFilter::Kind::WholeNumber, lengthLimit);
}

FieldFilter* InstallWholeNumberFilter(QComboBox* field, int lengthLimit) {
    if (!field || !field->lineEdit()) return nullptr;
    return new FieldFilter(field->lineEdit(), FieldFilter::Kind::WholeNumber, lengthLimit, field);
}

FieldFilter* InstallDecimalFilter(QLineEdit* field, int lengthLimit) {
    return install(field, FieldFilter::Kind::Decimal, lengthLimit);
}

FieldFilter* InstallViewOnlyFilter(QLineEdit* field) {
    return install(field, FieldFilter::Kind::ViewOnly, 0);
}

FieldFilter* InstallMultiplierFilter(QLineEdit* field) {
    FieldFilter* filter = InstallDecimalFilter(field, 0);
    if (filter) filter->setFocusLossClamp(kMultiplierDecimals, kMultiplierLow, kMultiplierHigh);
    return filter;
}

FieldFilter* InstallPresetFilter(QLineEdit* field) {
    FieldFilter* filter = InstallWholeNumberFilter(field, 0);
    if (filter) filter->setFocusLossClamp(kPresetDecimals, kPresetLow, kPresetHigh);
    return filter;
}

}  // namespace tally
