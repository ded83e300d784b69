#include "app/options/option_table.h"

#include <charconv>

namespace tally {

OptionArg SplitOptionArg(const std::string& arg) {
    OptionArg split;
    const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    split.name = arg.substr(0, equals);
    if (equals != std::string::npos) split.value = arg.substr(equals + 1);
    return split;
}

std::string OptionHelpLines(const char* shortName, const char* name, const char* valueName,
                            const std::string& help, std::size_t column, std::size_t width) {
    std::string line = "  ";
    if (shortName) line += std::string(shortName) + ", ";
    line += name;
    if (valueName) line += std::string(" ") + valueName;
    std::string text;
    if (line.size() + 2 > column) {
        text = line + "\n";
        line.clear();
    }
    // Word by word: a word longer than the room left stands on a line of its own.
    std::size_t start = 0;
    while (start < help.size()) {
        const std::size_t end = std::min(help.find(' ', start), help.size());
        const std::string word = help.substr(start, end - start);
        start = end + 1;
        if (word.empty()) continue;
        if (line.size() > column && line.size() + 1 + word.size() > width) {
            text += line + "\n";
            line.clear();
        }
        if (line.size() < column) {
            line.resize(column, ' ');
        } else {
            line += ' ';
        }
        line += word;
    }
    return line.empty() ? text : text + line + "\n";
}

std::optional<std::int64_t> WholeNumber(const std::string& text, std::int64_t lo, std::int64_t hi) {
    std::int64_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text[0] == '-' || stop != end || error != std::errc() || value < lo ||
        value > hi) {
        return std::nullopt;
    }
    return value;
}

}  // namespace tally
