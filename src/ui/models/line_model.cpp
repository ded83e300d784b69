#include "ui/models/line_model.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/local_time.h"

namespace tally {

namespace {

// Row colours for what went wrong; dark text keeps them readable in a dark theme.
QColor OutcomeColour(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::TimeOut:
            return QColor(0xFF, 0xE0, 0xA0);
        case OutcomeKind::ChecksumError:
        case OutcomeKind::BadReply:
            return QColor(0xFF, 0xB8, 0xB8);
        case OutcomeKind::Exception:
            return QColor(0xE0, 0xD0, 0xFF);
        case OutcomeKind::Success:
            break;
    }
    return QColor();
}

QString RequestText(LineRequest request) {
    switch (request) {
        case LineRequest::ReadCounters:
            return QStringLiteral("Read DC");
        case LineRequest::ReadInputs:
            return QStringLiteral("Read DI");
        case LineRequest::ReadOutputs:
            return QStringLiteral("Read DO");
        case LineRequest::ClearCounters:
            return QStringLiteral("Clear DC");
        case LineRequest::PresetCounters:
            return QStringLiteral("Preset DC");
        case LineRequest::WriteOutputs:
            return QStringLiteral("Write DO");
        case LineRequest::ReadEnable:
            return QStringLiteral("Read DC Status");
        case LineRequest::WriteEnable:
            return QStringLiteral("Write DC Status");
        case LineRequest::Probe:
            return QStringLiteral("Probe");
    }
    return QString();
}

}  // namespace

// ---- LineRing ----

LineRow& LineRing::Push() {
    if (Full()) {
        LineRow& slot = slots_[first_];
        first_ = (first_ + 1) % slots_.size();
        return slot;
    }
    ++size_;
    return At(size_ - 1);
}

void LineRing::DropOldest(std::size_t count) {
    count = std::min(count, size_);
    first_ = (first_ + count) % slots_.size();
    size_ -= count;
}

std::size_t LineRing::MemoryBytes() const {
    const std::size_t inlineCapacity = std::string().capacity();
    std::size_t bytes = sizeof(*this) + slots_.capacity() * sizeof(LineRow);
    for (const LineRow& row : slots_) {
        if (row.bytes.capacity() > inlineCapacity) bytes += row.bytes.capacity() + 1;
        if (row.status.capacity() > inlineCapacity) bytes += row.status.capacity() + 1;
    }
    return bytes;
}

// ---- Texts ----

QString LineTimeText(std::int64_t utcMs) {
    const std::int64_t ms = LocalTimeAt(utcMs).msOfDay;
    const auto part = [](qint64 value, int width) {
        return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
    };
    return part(ms / 3600000, 2) + QLatin1Char(':') + part(ms / 60000 % 60, 2) + QLatin1Char(':') +
           part(ms / 1000 % 60, 2) + QLatin1Char('.') + part(ms % 1000, 3);
}

QString LineHexText(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 3));
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (!text.isEmpty()) text += QLatin1Char(' ');
        text += QLatin1Char(digits[byte >> 4]);
        text += QLatin1Char(digits[byte & 0x0F]);
    }
    return text;
}

QString LineAsciiText(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() + 8));
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // Spelt out: the control-picture symbols are missing from many fixed fonts.
        if (byte == '\r') {
            text += QLatin1String("<CR>");
        } else if (byte == '\n') {
            text += QLatin1String("<LF>");
        } else if (byte < 0x20 || byte > 0x7E) {
            text += QChar(0x00B7);
        } else {
            text += QLatin1Char(static_cast<char>(byte));
        }
    }
    return text;
}

QString LineReplyMsText(double replyMs) {
    return QString::number(replyMs, 'f', 3);
}

// ---- LineModel ----

LineModel::LineModel(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent),
      shown_(std::max<std::size_t>(capacity, 1)),
      incoming_(std::max<std::size_t>(capacity, 1)),
      fixedFont_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
    commitTimer_.setSingleShot(true);
    connect(&commitTimer_, &QTimer::timeout, this, &LineModel::Commit);
}

void LineModel::Append(const LineEvent& event) {
    // A late reply is shown as received too, with its own status text.
    const bool received =
        event.type == LineEvent::Type::Outcome || event.type == LineEvent::Type::LateReply;
    if (!received && event.type != LineEvent::Type::Request) return;
    LineRow& row = incoming_.Push();
    const std::size_t kept = std::min(event.bytes.size(), MaxRowBytes);
    row.bytes.assign(event.bytes, 0, kept);  // reuses the slot's storage
    row.cut = kept < event.bytes.size();
    row.utcMs = event.utcMs;
    row.replyMs = received ? event.replyMs : 0.0;
    row.outcome = received ? event.outcome : Outcome::Ok();
    if (received) {
        row.status.assign(event.statusText);  // reuses the slot's storage too
    } else {
        row.status.clear();
    }
    row.request = event.request;
    row.protocol = event.protocol;
    row.station = static_cast<std::uint8_t>(std::clamp(event.station, 0, 255));
    row.received = received;
    scheduleCommit();
}

void LineModel::scheduleCommit() {
    if (paused_ || commitTimer_.isActive()) return;
    // Whatever else arrives in this event-loop turn (or the delay) joins the same
    // batch; a commit before then (a poll cycle's end) stops the timer, so it
    // wakes nobody for nothing.
    commitTimer_.start(commitDelayMs_);
}

void LineModel::Commit() {
    commitTimer_.stop();
    const std::size_t count = incoming_.Size();
    if (paused_ || count == 0) return;
    const std::size_t overflow =
        shown_.Size() + count > shown_.Capacity() ? shown_.Size() + count - shown_.Capacity() : 0;
    if (overflow > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(overflow) - 1);
        shown_.DropOldest(overflow);
        endRemoveRows();
    }
    const int first = static_cast<int>(shown_.Size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(count) - 1);
    // Swapped, not copied: the byte buffers change hands and nothing is allocated.
    for (std::size_t i = 0; i < count; ++i)
        std::swap(shown_.Push(), incoming_.At(i));
    incoming_.Clear();
    endInsertRows();
}

void LineModel::SetPaused(bool paused) {
    if (paused_ == paused) return;
    paused_ = paused;
    if (!paused_) Commit();
}

void LineModel::Clear() {
    incoming_.Clear();
    if (shown_.Size() == 0) return;
    beginRemoveRows(QModelIndex(), 0, static_cast<int>(shown_.Size()) - 1);
    shown_.Clear();
    endRemoveRows();
}

std::size_t LineModel::MemoryBytes() const {
    return sizeof(*this) + shown_.MemoryBytes() + incoming_.MemoryBytes();
}

int LineModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.Size());
}

int LineModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString LineModel::cellText(const LineRow& row, int column) const {
    switch (column) {
        case ColTime:
            return LineTimeText(row.utcMs);
        case ColDirection:
            return row.received ? QStringLiteral("RX") : QStringLiteral("TX");
        case ColStation:
            // Several stations may share the line: each row says whose it is.
            return QString::number(row.station);
        case ColProtocol:
            return QString::fromStdString(ProtocolCaption(row.protocol));
        case ColHex:
            return row.cut ? LineHexText(row.bytes) + QStringLiteral(" \u2026")
                           : LineHexText(row.bytes);
        case ColText:
            // Modbus RTU is binary: its bytes read as nothing useful.
            return row.protocol == Protocol::ModbusRtu ? QString() : LineAsciiText(row.bytes);
        case ColOutcome:
            return QString::fromStdString(row.status);
        case ColReplyMs:
            return row.received ? LineReplyMsText(row.replyMs) : QString();
        default:
            return QString();
    }
}

QString LineModel::RowText(int row) const {
    const LineRow& r = Row(row);
    QString text;
    for (int column = 0; column < ColumnCount; ++column) {
        if (column > 0) text += QLatin1Char('\t');
        text += cellText(r, column);
    }
    return text;
}

QVariant LineModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return QVariant();
    const LineRow& row = Row(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return cellText(row, index.column());
        case Qt::ToolTipRole:
            return QStringLiteral("%1, station %2").arg(RequestText(row.request)).arg(row.station);
        case Qt::BackgroundRole:
            if (row.received && row.outcome.kind != OutcomeKind::Success)
                return QBrush(OutcomeColour(row.outcome.kind));
            return QVariant();
        case Qt::ForegroundRole:
            if (row.received && row.outcome.kind != OutcomeKind::Success) return QBrush(Qt::black);
            return QVariant();
        case Qt::FontRole:
            if (index.column() == ColHex || index.column() == ColText) return fixedFont_;
            return QVariant();
        case Qt::TextAlignmentRole:
            if (index.column() == ColReplyMs)
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant();
        default:
            return QVariant();
    }
}

QVariant LineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    static const char* const titles[ColumnCount] = {"Time", "Dir",  "Station", "Protocol",
                                                    "Hex",  "Text", "Outcome", "Reply ms"};
    if (section < 0 || section >= ColumnCount) return QVariant();
    return QLatin1String(titles[section]);
}

}  // namespace tally
