// The Stations view: every station of a list on the line side by side, read in
// each poll cycle after the main window's own station while the view is open.
//
// The window only shows the StationsModel and says what the operator asked for:
// a new list, a station's own multipliers, a station to become the main window's.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QTableView;

namespace tally {

class StationsModel;

class FrmStations : public QWidget {
    Q_OBJECT
  public:
    // `defaultList`: the list shown when none was kept from an earlier run.
    FrmStations(StationsModel& model, const QString& defaultList, QWidget* parent = nullptr);
    ~FrmStations() override;

    QLabel* labStationList = nullptr;
    QLineEdit* txtStationList = nullptr;
    // Why the list in the field was refused; empty while it stands.
    QLabel* labStationListError = nullptr;
    QTableView* tblStations = nullptr;
    QLabel* labStationMultiply = nullptr;
    // The selected station's own multipliers, "M1,...,M8".
    QLineEdit* txtStationMultiply = nullptr;
    QLabel* labStationMultiplyError = nullptr;

    // Takes the list in the field: the table shows it, or the reason is shown beside it.
    void txtStationList_Change();
    void txtStationMultiply_Change();
    // The station of a row becomes the main window's.
    void tblStations_Activate(int row);
    // The list, the column widths and the window's place, in the user's settings.
    void SaveState() const;

    // The listed stations changed.
    std::function<void(const std::vector<int>& stations)> onStationsChanged;
    std::function<void(int station)> onStationChosen;
    // The window was shown or hidden.
    std::function<void(bool shown)> onShownChanged;
    // A station's own multipliers changed.
    std::function<void()> onMultipliersChanged;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showSelectedMultipliers();
    int selectedStation() const;

    StationsModel& model_;
};

}  // namespace tally
