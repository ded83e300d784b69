#include "log/log_row.h"

#include "log/csv.h"
#include "numbers/number_text.h"

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

}  // namespace tally
