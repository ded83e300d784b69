// The line monitor's rows: the newest requests and replies, in a ring of fixed size.
//
// Each request written is a TX row; each outcome is an RX row with the bytes
// received for it (none after a plain time out). Rows are held in two rings:
// the rows the view shows, and the rows that came in since the last event-loop
// turn (or while paused). The view learns of new rows in one batch per turn, so
// a busy line costs one insert and at most one removal per turn, never a reset.
// A slot's storage is reused when the ring wraps: memory stays constant however
// long the program runs.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/line_event.h"

namespace tally {

struct LineRow {
    std::string bytes;
    std::int64_t utcMs = 0;  // the instant, milliseconds since the epoch (UTC)
    double replyMs = 0.0;
    Outcome outcome;
    std::string status;  // RX: what the status line said when the request ended
    LineRequest request = LineRequest::ReadCounters;
    Protocol protocol = Protocol::Own;
    std::uint8_t station = 0;
    bool received = false;  // RX: the bytes that came back for a request
    bool cut = false;       // bytes beyond MaxRowBytes were not kept
};

// A ring of rows with a fixed number of slots.
class LineRing {
  public:
    explicit LineRing(std::size_t capacity) : slots_(capacity) {}

    std::size_t Capacity() const { return slots_.size(); }
    std::size_t Size() const { return size_; }
    bool Full() const { return size_ == slots_.size(); }
    // Row i, 0 the oldest.
    const LineRow& At(std::size_t i) const { return slots_[(first_ + i) % slots_.size()]; }
    LineRow& At(std::size_t i) { return slots_[(first_ + i) % slots_.size()]; }
    // The slot for a new row, taking the oldest one's place when full. The slot
    // still holds an old row's contents: the caller overwrites every field.
    LineRow& Push();
    void DropOldest(std::size_t count);
    void Clear() { first_ = size_ = 0; }
    // Bytes held, slot storage included.
    std::size_t MemoryBytes() const;

  private:
    std::vector<LineRow> slots_;
    std::size_t first_ = 0;
    std::size_t size_ = 0;
};

class LineModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        ColTime,
        ColDirection,
        ColStation,
        ColProtocol,
        ColHex,
        ColText,
        ColOutcome,
        ColReplyMs
    };
    static constexpr int ColumnCount = ColReplyMs + 1;
    static constexpr std::size_t DefaultCapacity = 10000;
    // A frame of any of the protocols fits; a runaway reply is cut here.
    static constexpr std::size_t MaxRowBytes = 1024;

    explicit LineModel(std::size_t capacity = DefaultCapacity, QObject* parent = nullptr);

    // Requests and outcomes become rows; other events are ignored. The view sees
    // the new rows after the current event-loop turn (or the commit delay), or at
    // once with Commit().
    void Append(const LineEvent& event);
    // Rows that come within this many milliseconds of the first uncommitted one
    // join its batch; 0 (the default) commits on the next event-loop turn.
    void SetCommitDelay(int ms) { commitDelayMs_ = ms; }
    // Announces the rows that came in (nothing while paused).
    void Commit();
    // While paused the shown rows stay as they are; rows keep coming in and
    // appear on resume (the newest Capacity() of them).
    void SetPaused(bool paused);
    void Clear();

    std::size_t Capacity() const { return shown_.Capacity(); }
    const LineRow& Row(int row) const { return shown_.At(static_cast<std::size_t>(row)); }
    std::size_t MemoryBytes() const;

    // The row as tab-separated text, as copied and saved.
    QString RowText(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    QString cellText(const LineRow& row, int column) const;
    void scheduleCommit();

    LineRing shown_;
    LineRing incoming_;
    bool paused_ = false;
    QTimer commitTimer_;
    int commitDelayMs_ = 0;
    QFont fixedFont_;
};

// Display texts of the columns, shared by the view, the clipboard and the saved file.
QString LineTimeText(std::int64_t utcMs);
QString LineHexText(const std::string& bytes);
// The bytes as characters; CR and LF as "<CR>" and "<LF>", other control bytes
// and bytes above 7E as a middle dot.
QString LineAsciiText(const std::string& bytes);
QString LineReplyMsText(double replyMs);

}  // namespace tally
