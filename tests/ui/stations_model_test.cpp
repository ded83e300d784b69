// The Stations view's table from the line's events: each station's own values,
// multipliers and confirmations.
#include <gtest/gtest.h>

#include "ui/models/station_multipliers.h"
#include "ui/models/stations_model.h"

namespace tally {
namespace {

LineEvent Read(int station, LineRequest request, bool good) {
    LineEvent event;
    event.type = LineEvent::Type::Outcome;
    event.station = station;
    event.request = request;
    event.outcome = good ? Outcome::Ok() : Outcome::Of(OutcomeKind::TimeOut);
    if (good) {
        ReplyMeaning meaning;
        meaning.kind = request == LineRequest::ReadCounters ? ReplyMeaning::Kind::Counters
                                                            : ReplyMeaning::Kind::Inputs;
        meaning.counters[0] = 100.0;
        meaning.channels[7] = 1;
        event.meaning = meaning;
    }
    return event;
}

TEST(StationsModel, EachStationScalesWithItsOwnMultipliersAndGreysWhatItsLastReadsMissed) {
    StationTable table;
    StationsModel model(
        table, [] { return 1; }, [] { return std::array<double, 8>{3.0}; });
    model.SetStations({1, 2, 3});
    model.SetOwnMultipliers(ParseStationMultipliers(
        {"2:0.5,1,1,1,1,1,1,1", "1:9,9,9,9,9,9,9,9", "3:1,1", "x:1,1,1,1,1,1,1,1"}));
    const auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
        return model.index(row, column).data(role);
    };
    for (const int station : {1, 2}) {
        table.OnLineEvent(Read(station, LineRequest::ReadCounters, true));
        table.OnLineEvent(Read(station, LineRequest::ReadInputs, true));
    }
    EXPECT_EQ(cell(0, StationsModel::ColCounter1).toString(), "300.0") << "the main window's";
    EXPECT_EQ(cell(1, StationsModel::ColCounter1).toString(), "50.0");
    EXPECT_EQ(cell(2, StationsModel::ColCounter1).toString(), "--") << "never read";
    EXPECT_EQ(cell(1, StationsModel::ColInputs).toString(), "-------1");
    EXPECT_EQ(model.MultipliersOf(3)[1], 1.0) << "a malformed entry is no station's";

    // A failed input read gives up the output read after it; the counters stand.
    table.OnLineEvent(Read(2, LineRequest::ReadInputs, false));
    EXPECT_TRUE(cell(1, StationsModel::ColCounter1, StationsModel::ConfirmedRole).toBool());
    EXPECT_FALSE(cell(1, StationsModel::ColInputs, StationsModel::ConfirmedRole).toBool());
    EXPECT_FALSE(cell(1, StationsModel::ColOutputs, StationsModel::ConfirmedRole).toBool());
    EXPECT_EQ(cell(1, StationsModel::ColFailed).toString(), "1");
    EXPECT_EQ(cell(1, StationsModel::ColInputs).toString(), "-------1") << "kept, grey";

    std::array<double, 8> parsed{};
    EXPECT_EQ(ParseMultipliers("1,2,3,4,5,6,7", parsed),
              "give eight multipliers, separated by commas");
    EXPECT_EQ(ParseMultipliers("1,2,3,4,5,6,7,20000", parsed),
              "multiplier 8 (20000) is not a number from -10000 to 10000");
    EXPECT_EQ(FormatStationMultipliers(model.OwnMultipliers()).at(1),
              "2:0.5,1.0,1.0,1.0,1.0,1.0,1.0,1.0");
}

}  // namespace
}  // namespace tally
