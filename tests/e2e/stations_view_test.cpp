// The Stations view against a line of simulated modules, one of them absent.
#include <QAction>
#include <QTableView>

#include "live_window_fixture.h"
#include "ui/models/stations_model.h"
#include "ui/windows/frm_stations.h"

namespace tally::e2e {
namespace {

class StationsView : public LiveWindowTest {
  protected:
    FrmStations& view() { return *w->frmStations; }
    QString cell(int row, int column) {
        return w->stationsModel().index(row, column).data().toString();
    }
    void setList(const QString& text) {
        view().txtStationList->setText(text);
        view().txtStationList_Change();
    }
    QJsonValue simStation(int station, const char* field) const {
        return sim.Stats()["stations"][QString::number(station)]["state"][QLatin1String(field)];
    }
    QStringList rowCounters(int row) {
        QStringList values;
        for (int k = 0; k < 8; ++k)
            values << cell(row, StationsModel::ColCounter1 + k);
        return values;
    }
};

TEST_F(StationsView, ReadsEveryListedStationAfterTheMainOneAndAChosenRowBecomesTheMainStation) {
    ASSERT_TRUE(startSimulator(1, kMovingSeed, {"--station", "1,2"}));
    startWindow();
    ASSERT_TRUE(openPort(kModbusRtu, 1));
    w->mnuStations->trigger();
    ASSERT_NE(w->frmStations, nullptr);
    ASSERT_TRUE(view().isVisible());

    // A list is refused with the reason; the table keeps the one before.
    for (const auto& [list, reason] : {std::pair{"3-1", "the range 3-1 is reversed"},
                                       std::pair{"1,1", "station 1 is listed twice"}}) {
        setList(QLatin1String(list));
        EXPECT_EQ(view().labStationListError->text(), QLatin1String(reason));
        EXPECT_EQ(w->stationsModel().rowCount(), 1);
    }
    setList(QStringLiteral("1,2,5"));
    EXPECT_TRUE(view().labStationListError->text().isEmpty());
    ASSERT_EQ(w->stationsModel().rowCount(), 3);
    EXPECT_EQ(cell(2, StationsModel::ColState), QStringLiteral("not read yet"));

    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);
    w->chkDO->setChecked(true);
    w->txtAutoRead->setText(QStringLiteral("1"));
    w->chkRead->setChecked(true);
    ASSERT_TRUE(WaitUntil([&] { return cell(2, StationsModel::ColState) == "lost"; }, 10000));
    EXPECT_EQ(cell(2, StationsModel::ColFailed), QStringLiteral("3")) << "lost at its third cycle";
    EXPECT_EQ(cell(0, StationsModel::ColState), QStringLiteral("answering"));
    EXPECT_EQ(cell(1, StationsModel::ColState), QStringLiteral("answering"));
    EXPECT_EQ(cell(1, StationsModel::ColFailed), QStringLiteral("0"));
    EXPECT_FALSE(cell(1, StationsModel::ColLastRead).isEmpty());

    // Station 2 becomes the main window's: its last values at once, then its commands.
    const QStringList shownForTwo = rowCounters(1);
    emit view().tblStations->doubleClicked(w->stationsModel().index(1, 0));
    EXPECT_EQ(w->cmbStation->currentText(), QStringLiteral("2"));
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(w->txtCTVal[i]->text(), shownForTwo.at(static_cast<int>(i)));
    w->cmdDO[1]->click();
    ASSERT_TRUE(WaitUntil([&] { return cell(1, StationsModel::ColOutputs) == "10000000"; }, 5000));

    w->chkRead->setChecked(false);
    ASSERT_TRUE(settle());
    EXPECT_EQ(simStation(2, "outputs").toString(), QStringLiteral("10000000"));
    EXPECT_EQ(simStation(1, "outputs").toString(), QStringLiteral("00000000"));
    EXPECT_EQ(cell(0, StationsModel::ColOutputs), QStringLiteral("00000000"));
    for (const int row : {0, 1}) {
        SCOPED_TRACE(row);
        ExpectCloseBelow(rowCounters(row), simStation(row + 1, "counters").toArray());
    }
    QStringList mainRaw;
    for (const QLineEdit* field : w->txtCTRaw)
        mainRaw << field->text();
    ExpectCloseBelow(mainRaw, simStation(2, "counters").toArray());

    // The list, the column widths and the open view come back with the next start.
    view().tblStations->setColumnWidth(StationsModel::ColFailed, 123);
    closeWindow();
    startWindow();
    ASSERT_NE(w->frmStations, nullptr);
    EXPECT_TRUE(view().isVisible());
    EXPECT_EQ(view().txtStationList->text(), QStringLiteral("1,2,5"));
    EXPECT_EQ(view().tblStations->columnWidth(StationsModel::ColFailed), 123);
    // Kept closed for the tests after this one, which read one station.
    view().close();
}

}  // namespace
}  // namespace tally::e2e
