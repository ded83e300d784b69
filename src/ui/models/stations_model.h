// The Stations view's table: one row per listed station, from the StationTable.
//
// Columns: the station, its state, the time of its last good read, the eight
// counters scaled with that station's multipliers, the inputs and the outputs
// (as "10000001", channel 1 first, "-" where not known; the view draws lamps) and
// its failed requests. A value the latest read of its kind did not confirm says
// so in ConfirmedRole, so the view can grey it as the main window does.
#pragma once

#include <QAbstractTableModel>
#include <array>
#include <functional>
#include <map>
#include <vector>

#include "ui/models/station_table.h"

namespace tally {

class StationsModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        ColStation,
        ColState,
        ColLastRead,
        ColCounter1,
        ColInputs = ColCounter1 + 8,
        ColOutputs,
        ColFailed
    };
    static constexpr int ColumnCount = ColFailed + 1;
    // bool: the value on show is confirmed by the latest read of its kind.
    static constexpr int ConfirmedRole = Qt::UserRole;
    // int: the row's station.
    static constexpr int StationRole = Qt::UserRole + 1;

    // `mainStation`: the main window's station, whose counters take the main
    // window's multipliers (`mainMultipliers`); the others take their own.
    StationsModel(const StationTable& table, std::function<int()> mainStation,
                  std::function<std::array<double, 8>()> mainMultipliers,
                  QObject* parent = nullptr);

    void SetStations(const std::vector<int>& stations);
    const std::vector<int>& Stations() const { return stations_; }

    // A station's own multipliers (1 where none were given); the main station's
    // are the main window's whatever is set here.
    void SetOwnMultipliers(const std::map<int, std::array<double, 8>>& multipliers);
    const std::map<int, std::array<double, 8>>& OwnMultipliers() const { return own_; }
    std::array<double, 8> MultipliersOf(int station) const;
    bool IsMain(int station) const { return mainStation_ && station == mainStation_(); }

    // The table's entry of a station changed; also every row at once (-1).
    void StationChanged(int station);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    QString cellText(int station, int column) const;
    bool confirmed(int station, int column) const;

    const StationTable& table_;
    std::function<int()> mainStation_;
    std::function<std::array<double, 8>()> mainMultipliers_;
    std::vector<int> stations_;
    std::map<int, std::array<double, 8>> own_;
};

}  // namespace tally
