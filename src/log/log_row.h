// One row of the counter log and the header that names its 43 columns:
// time,station,protocol,raw1..raw8,scaled1..scaled8,rate1..rate8,di1..di8,do1..do8.
//
// A value that was not read in the row's cycle, or whose read failed, is an
// empty cell: a stale value would look current. Numbers use "." whatever the
// locale (raw counts as whole numbers, scaled values and rates as "0.0###").
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/station_reading.h"
#include "protocol/protocol.h"

namespace tally {

constexpr std::size_t kLogColumnCount = 43;

const std::vector<std::string>& LogColumns();
// The header line without its line end.
const std::string& LogHeader();

// A station's reading as one CSV line, CR LF included; `time` is its instant as
// the log writes it (FormatLogTime).
std::string FormatLogRow(const StationReading& reading, const std::string& time);

// Whether `line` (without its line end) has the shape of a row FormatLogRow
// writes: 43 unquoted cells beginning with a log time, a station and a
// protocol's name. A file that lost its header (emptied under a running log,
// and a row got in first) is still this log's.
bool IsLogRow(std::string_view line);

}  // namespace tally
