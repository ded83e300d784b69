// The Stations view's side of the main window: which stations each cycle reads,
// whose replies the main window shows, and a station chosen from the view.
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

#include "app/window/frm_main.h"
#include "numbers/number_text.h"
#include "protocol/station_list.h"
#include "ui/models/read_confirmation.h"
#include "ui/models/station_multipliers.h"
#include "ui/models/station_table.h"
#include "ui/models/stations_model.h"
#include "ui/windows/frm_stations.h"
#include "ui/windows/user_settings.h"

namespace tally {
namespace {

const QString kOpenKey = QStringLiteral("stations/open");
const QString kMultiplyKey = QStringLiteral("stations/multiply");

}  // namespace

int FrmMain::MainStation() const {
    const auto station = ToWholeNumber16(cmbStation->currentText().toStdString());
    return station && *station >= 0 && *station <= kLastStation ? *station : -1;
}

std::string FrmMain::mainStationHex() const {
    // While on line the field holds the station the port was opened for, or one chosen since.
    const int station = MainStation();
    return station >= 0 ? StationHexOf(station) : StationHex;
}

void FrmMain::ApplyStationReply(int station, const ReplyMeaning& meaning) {
    // Another station's values are the Stations view's, from the line's events.
    if (station != MainStation()) return;
    ApplyReply(meaning);
}

void FrmMain::walkStations() {
    const int main = MainStation();
    if (main < 0) return;
    std::vector<int> walk{main};
    if (frmStations != nullptr && frmStations->isVisible()) {
        for (const int station : stationsModel_->Stations())
            if (station != main) walk.push_back(station);
    }
    engine_->SetStations(walk);
}

void FrmMain::mnuStations_Click() {
    if (frmStations == nullptr) {
        const int main = MainStation();
        frmStations =
            new FrmStations(*stationsModel_, main >= 0 ? QString::number(main) : "1", this);
        frmStations->onStationsChanged = [this](const std::vector<int>&) { walkStations(); };
        frmStations->onShownChanged = [this](bool) { walkStations(); };
        frmStations->onStationChosen = [this](int station) { ChooseStation(station); };
    }
    frmStations->show();
    frmStations->raise();
    frmStations->activateWindow();
}

void FrmMain::ChooseStation(int station) {
    if (station < 0 || station > kLastStation || station == MainStation()) return;
    // As an edit of the field: what is on show is forgotten as another station's.
    cmbStation->setEditText(QString::number(station));
    walkStations();
    const StationTable::Station& known = stationTable_->At(station);
    const auto confirm = [&](ReadKind kind, std::size_t i, bool present) {
        confirmation_->Set(kind, i, present && known.confirmed[static_cast<std::size_t>(kind)]);
    };
    bool anyCounter = false;
    for (std::size_t i = 0; i < 8; ++i) {
        if (known.counters[i]) CounterValue[i] = *known.counters[i];
        anyCounter = anyCounter || known.counters[i].has_value();
        confirm(ReadKind::Counters, i, known.counters[i].has_value());
        if (known.inputs[i]) InputState[i] = static_cast<std::int16_t>(*known.inputs[i]);
        confirm(ReadKind::Inputs, i, known.inputs[i].has_value());
        if (known.outputs[i]) OutputState[i + 1] = static_cast<std::int16_t>(*known.outputs[i]);
        confirm(ReadKind::Outputs, i, known.outputs[i].has_value());
    }
    // A station never read leaves "--" where nothing was read yet.
    if (anyCounter) ShowCounters();
    ShowInputs();
    ShowOutputs();
    stationsModel_->StationChanged(-1);
}

void FrmMain::applyStationsState() {
    const auto settings = UserSettings();
    std::vector<std::string> entries;
    for (const QString& entry : settings->value(kMultiplyKey).toStringList())
        entries.push_back(entry.toStdString());
    stationsModel_->SetOwnMultipliers(ParseStationMultipliers(entries));
    if (settings->value(kOpenKey, false).toBool()) mnuStations_Click();
}

void FrmMain::saveStationsState() {
    const auto settings = UserSettings();
    const bool open = frmStations != nullptr && frmStations->isVisible();
    settings->setValue(kOpenKey, open);
    QStringList entries;
    for (const std::string& entry : FormatStationMultipliers(stationsModel_->OwnMultipliers()))
        entries << QString::fromStdString(entry);
    settings->setValue(kMultiplyKey, entries);
    if (frmStations != nullptr) frmStations->SaveState();
}

}  // namespace tally
