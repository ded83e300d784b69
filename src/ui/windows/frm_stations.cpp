#include "ui/windows/frm_stations.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "protocol/station_list.h"
#include "ui/models/station_multipliers.h"
#include "ui/models/stations_model.h"
#include "ui/windows/control_names.h"
#include "ui/windows/station_cell_delegate.h"
#include "ui/windows/user_settings.h"

namespace tally {
namespace {

const QString kListKey = QStringLiteral("stations/list");
const QString kColumnsKey = QStringLiteral("stations/columns");
const QString kGeometryKey = QStringLiteral("stations/geometry");

}  // namespace

FrmStations::FrmStations(StationsModel& model, const QString& defaultList, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QStringLiteral("frmStations"));
    setWindowTitle(QStringLiteral("Tallyscope, Stations"));
    setFont(QFont(QStringLiteral("Tahoma")));
    auto* root = new QVBoxLayout(this);

    auto* listRow = new QHBoxLayout;
    labStationList = named(new QLabel(QStringLiteral("Stations"), this), "labStationList");
    txtStationList = named(new QLineEdit(this), "txtStationList");
    txtStationList->setToolTip(
        QStringLiteral("Numbers 0-31 and ranges, separated by commas: 1-8 or 1,3,5-7"));
    labStationListError = named(new QLabel(this), "labStationListError");
    labStationListError->setStyleSheet(QStringLiteral("color: #B00000"));
    listRow->addWidget(labStationList);
    listRow->addWidget(txtStationList, 1);
    listRow->addWidget(labStationListError, 2);
    root->addLayout(listRow);

    tblStations = named(new QTableView(this), "tblStations");
    tblStations->setModel(&model_);
    tblStations->setItemDelegate(new StationCellDelegate(tblStations));
    tblStations->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblStations->setSelectionMode(QAbstractItemView::SingleSelection);
    tblStations->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblStations->setWordWrap(false);
    tblStations->verticalHeader()->setVisible(false);
    tblStations->resizeColumnsToContents();
    const QFontMetrics fm(tblStations->font());
    // Room for eight-digit counts; a wider one widens its column when dragged.
    for (int k = 0; k < 8; ++k)
        tblStations->setColumnWidth(StationsModel::ColCounter1 + k,
                                    fm.horizontalAdvance(QStringLiteral("00000000.0")) + 12);
    tblStations->setColumnWidth(StationsModel::ColState,
                                fm.horizontalAdvance(QStringLiteral("not read yet")) + 16);
    tblStations->setColumnWidth(StationsModel::ColLastRead,
                                fm.horizontalAdvance(QStringLiteral("00:00:00.000")) + 16);
    for (int column : {int(StationsModel::ColInputs), int(StationsModel::ColOutputs)})
        tblStations->setColumnWidth(column, fm.height() * 2 / 3 * 8 + 9 * 3 + 8);
    tblStations->installEventFilter(this);
    root->addWidget(tblStations, 1);

    auto* multiplyRow = new QHBoxLayout;
    labStationMultiply = named(new QLabel(QStringLiteral("Multiply"), this), "labStationMultiply");
    txtStationMultiply = named(new QLineEdit(this), "txtStationMultiply");
    txtStationMultiply->setToolTip(
        QStringLiteral("The selected station's eight multipliers, M1,...,M8; the main window's "
                       "station takes the main window's"));
    labStationMultiplyError = named(new QLabel(this), "labStationMultiplyError");
    labStationMultiplyError->setStyleSheet(QStringLiteral("color: #B00000"));
    multiplyRow->addWidget(labStationMultiply);
    multiplyRow->addWidget(txtStationMultiply, 1);
    multiplyRow->addWidget(labStationMultiplyError, 1);
    root->addLayout(multiplyRow);

    resize(1240, 320);
    const auto settings = UserSettings();
    restoreGeometry(settings->value(kGeometryKey).toByteArray());
    tblStations->horizontalHeader()->restoreState(settings->value(kColumnsKey).toByteArray());
    txtStationList->setText(settings->value(kListKey, defaultList).toString());
    model_.SetStations(ParseStationList(txtStationList->text().toStdString()).stations);

    connect(txtStationList, &QLineEdit::editingFinished, this, [this] { txtStationList_Change(); });
    connect(txtStationMultiply, &QLineEdit::editingFinished, this,
            [this] { txtStationMultiply_Change(); });
    connect(tblStations, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { tblStations_Activate(index.row()); });
    connect(tblStations->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showSelectedMultipliers(); });
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] { showSelectedMultipliers(); });
    showSelectedMultipliers();
}

FrmStations::~FrmStations() = default;

void FrmStations::txtStationList_Change() {
    const StationList list = ParseStationList(txtStationList->text().trimmed().toStdString());
    labStationListError->setText(QString::fromStdString(list.error));
    // A refused list leaves the table and the reading as they were.
    if (!list.error.empty()) return;
    if (list.stations == model_.Stations()) return;
    model_.SetStations(list.stations);
    if (onStationsChanged) onStationsChanged(list.stations);
}

int FrmStations::selectedStation() const {
    const QModelIndex current = tblStations->currentIndex();
    return current.isValid() ? current.data(StationsModel::StationRole).toInt() : -1;
}

void FrmStations::showSelectedMultipliers() {
    const int station = selectedStation();
    labStationMultiplyError->clear();
    // The main window's station is scaled by the main window's multipliers.
    txtStationMultiply->setEnabled(station >= 0 && !model_.IsMain(station));
    txtStationMultiply->setText(
        station >= 0 ? QString::fromStdString(FormatMultipliers(model_.MultipliersOf(station)))
                     : QString());
}

void FrmStations::txtStationMultiply_Change() {
    const int station = selectedStation();
    if (station < 0) return;
    std::array<double, 8> multipliers{};
    const std::string why =
        ParseMultipliers(txtStationMultiply->text().trimmed().toStdString(), multipliers);
    labStationMultiplyError->setText(QString::fromStdString(why));
    if (!why.empty()) return;
    auto own = model_.OwnMultipliers();
    own[station] = multipliers;
    model_.SetOwnMultipliers(own);
    if (onMultipliersChanged) onMultipliersChanged();
}

void FrmStations::tblStations_Activate(int row) {
    const QModelIndex index = model_.index(row, 0);
    if (!index.isValid()) return;
    if (onStationChosen) onStationChosen(index.data(StationsModel::StationRole).toInt());
    showSelectedMultipliers();
}

bool FrmStations::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tblStations && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            tblStations->currentIndex().isValid()) {
            tblStations_Activate(tblStations->currentIndex().row());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmStations::SaveState() const {
    const auto settings = UserSettings();
    settings->setValue(kListKey, txtStationList->text());
    settings->setValue(kColumnsKey, tblStations->horizontalHeader()->saveState());
    settings->setValue(kGeometryKey, saveGeometry());
}

void FrmStations::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (onShownChanged) onShownChanged(true);
}

void FrmStations::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    SaveState();
    if (onShownChanged) onShownChanged(false);
}

}  // namespace tally
