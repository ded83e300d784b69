#include "log/log_row.h"

#include "log/csv.h"
#include "numbers/number_text.h"
#include "protocol/station_list.h"

namespace tally {
namespace {

std::vector<std::string> makeColumns() {
    std::vector<std::string> columns{"time", "station", "protocol"};
    for (const char* group : {"raw", "scaled", "rate", "di", "do"}) {
        for (int k = 1; k <= 8; ++k)
            columns.push_back(group + std::to_string(k));
    }
    return columns;
}

template <typename T, typename Format>
void addCells(std::vector<std::string>& fields, const std::array<std::optional<T>, 8>& values,
              Format format) {
    for (const auto& value : values)
        fields.push_back(value ? format(*value) : std::string());
}

std::string decimal(double value) {
    return FormatDecimal(value, 1, 4);
}

// "2023-03-15T12:00:00.000+01:00": '0' stands for a digit, '+' for either sign.
bool isLogTime(std::string_view text) {
    constexpr std::string_view kShape = "0000-00-00T00:00:00.000+00:00";
    if (text.size() != kShape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool fits = kShape[i] == '0'   ? c >= '0' && c <= '9'
                          : kShape[i] == '+' ? c == '+' || c == '-'
                                             : c == kShape[i];
        if (!fits) return false;
    }
    return true;
}

bool isStation(std::string_view text) {
    if (text.empty() || text.size() > 2) return false;
    int station = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        station = station * 10 + (c - '0');
    }
    return station <= kLastStation;
}

}  // namespace

const std::vector<std::string>& LogColumns() {
    static const std::vector<std::string> columns = makeColumns();
    return columns;
}

const std::string& LogHeader() {
    static const std::string header = [] {
        std::string line = CsvLine(LogColumns());
        line.resize(line.size() - 2);  // without CR LF
        return line;
    }();
    return header;
}

std::string FormatLogRow(const StationReading& row, const std::string& time) {
    std::vector<std::string> fields{time, std::to_string(row.station), ProtocolName(row.protocol)};
    fields.reserve(kLogColumnCount);
    addCells(fields, row.raw, [](double v) { return ShortestDecimal(v); });
    addCells(fields, row.scaled, decimal);
    addCells(fields, row.rate, decimal);
    addCells(fields, row.di, [](int v) { return std::to_string(v); });
    addCells(fields, row.dout, [](int v) { return std::to_string(v); });
    return CsvLine(fields);
}

bool IsLogRow(std::string_view line) {
    if (line.find('"') != std::string_view::npos) return false;
    std::vector<std::string_view> cells;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        cells.push_back(line.substr(start, comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (cells.size() != kLogColumnCount || !isLogTime(cells[0]) || !isStation(cells[1]))
        return false;
    for (const Protocol protocol : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
        if (cells[2] == ProtocolName(protocol)) return true;
    return false;
}

}  // namespace tally
