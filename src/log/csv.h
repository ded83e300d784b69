// CSV text as RFC 4180 has it: comma-separated fields, CR LF line ends, and a
// field quoted (its quotes doubled) only when it holds a comma, quote, CR or LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tally {

std::string CsvField(std::string_view text);

// The fields, each as CsvField gives it, joined by commas and ended with CR LF.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace tally
