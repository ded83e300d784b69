#include "ui/models/stations_model.h"

#include <QFont>
#include <algorithm>
#include <utility>

#include "ui/models/counter_monitor.h"
#include "ui/models/line_model.h"

namespace tally {
namespace {

template <typename Flag>
QString FlagText(const std::array<std::optional<Flag>, 8>& flags) {
    QString text;
    for (const auto& flag : flags)
        text += !flag ? QLatin1Char('-') : *flag == 1 ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

}  // namespace

StationsModel::StationsModel(const StationTable& table, std::function<int()> mainStation,
                             std::function<std::array<double, 8>()> mainMultipliers,
                             QObject* parent)
    : QAbstractTableModel(parent),
      table_(table),
      mainStation_(std::move(mainStation)),
      mainMultipliers_(std::move(mainMultipliers)) {}

void StationsModel::SetStations(const std::vector<int>& stations) {
    if (stations == stations_) return;
    beginResetModel();
    stations_ = stations;
    endResetModel();
}

void StationsModel::SetOwnMultipliers(const std::map<int, std::array<double, 8>>& multipliers) {
    own_ = multipliers;
    StationChanged(-1);
}

std::array<double, 8> StationsModel::MultipliersOf(int station) const {
    if (IsMain(station) && mainMultipliers_) return mainMultipliers_();
    const auto own = own_.find(station);
    if (own != own_.end()) return own->second;
    std::array<double, 8> ones{};
    ones.fill(1.0);
    return ones;
}

void StationsModel::StationChanged(int station) {
    if (stations_.empty()) return;
    if (station < 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        return;
    }
    const auto row = std::find(stations_.begin(), stations_.end(), station);
    if (row == stations_.end()) return;
    const int r = static_cast<int>(row - stations_.begin());
    emit dataChanged(index(r, 0), index(r, ColumnCount - 1));
}

int StationsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(stations_.size());
}

int StationsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString StationsModel::cellText(int station, int column) const {
    const StationTable::Station& s = table_.At(station);
    if (column >= ColCounter1 && column < ColCounter1 + 8) {
        const auto i = static_cast<std::size_t>(column - ColCounter1);
        if (!s.counters[i]) return QStringLiteral("--");
        return QString::fromStdString(CounterRow(*s.counters[i], MultipliersOf(station)[i]).scaled);
    }
    switch (column) {
        case ColStation:
            return QString::number(station);
        case ColState:
            return QString::fromStdString(HealthText(s.health));
        case ColLastRead:
            return s.lastGoodUtcMs ? LineTimeText(*s.lastGoodUtcMs) : QString();
        case ColInputs:
            return FlagText(s.inputs);
        case ColOutputs:
            return FlagText(s.outputs);
        case ColFailed:
            return QString::number(s.failedRequests);
        default:
            return QString();
    }
}

bool StationsModel::confirmed(int station, int column) const {
    const StationTable::Station& s = table_.At(station);
    if (column >= ColCounter1 && column < ColCounter1 + 8)
        return s.confirmed[static_cast<std::size_t>(ReadKind::Counters)];
    if (column == ColInputs) return s.confirmed[static_cast<std::size_t>(ReadKind::Inputs)];
    if (column == ColOutputs) return s.confirmed[static_cast<std::size_t>(ReadKind::Outputs)];
    return true;
}

QVariant StationsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return QVariant();
    const int station = stations_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return cellText(station, index.column());
        case ConfirmedRole:
            return confirmed(station, index.column());
        case StationRole:
            return station;
        case Qt::FontRole:
            // The main window's station stands out.
            if (IsMain(station)) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return QVariant();
        case Qt::TextAlignmentRole:
            if (index.column() >= ColCounter1 && index.column() < ColCounter1 + 8)
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant::fromValue(Qt::AlignCenter);
        case Qt::ToolTipRole:
            if (index.column() >= ColCounter1 && index.column() < ColCounter1 + 8) {
                const auto i = static_cast<std::size_t>(index.column() - ColCounter1);
                const auto& raw = table_.At(station).counters[i];
                if (raw) {
                    return QStringLiteral("raw %1 \u00d7 %2")
                        .arg(QString::fromStdString(CounterRow(*raw, 1).raw))
                        .arg(MultipliersOf(station)[i]);
                }
            }
            return QVariant();
        default:
            return QVariant();
    }
}

QVariant StationsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    if (section >= ColCounter1 && section < ColCounter1 + 8)
        return QStringLiteral("DC%1").arg(section - ColCounter1 + 1);
    switch (section) {
        case ColStation:
            return QStringLiteral("Station");
        case ColState:
            return QStringLiteral("State");
        case ColLastRead:
            return QStringLiteral("Last read");
        case ColInputs:
            return QStringLiteral("DI");
        case ColOutputs:
            return QStringLiteral("DO");
        case ColFailed:
            return QStringLiteral("Failed");
        default:
            return QVariant();
    }
}

}  // namespace tally
