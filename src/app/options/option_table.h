// A program's options as one table. Each row names an option, says what value it
// takes, takes that value into the program's options (checking it) and says what
// the option is for; the command line is read against the table and the help
// text is made from it, so an option is spelled in one place. No Qt: the
// simulator reads its options with it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tally {

template <class Target>
struct Option {
    const char* name;       // "--port"
    const char* shortName;  // "-h", or nullptr
    // "N" in "--port N"; nullptr: a switch; "[PREFIX]": the value may be left out.
    const char* valueName;
    unsigned marks;    // the program's own: may stand in an options file, needed by a run...
    std::string help;  // one paragraph: the help text wraps it
    // Takes `value` into `target`; returns why it is refused, or "". `name` is the
    // option's, for the message.
    std::string (*take)(Target& target, const std::string& name, const std::string& value);
    const char* heading = nullptr;  // a group of the help starts here: "Faults:"
};

// The option at one place of a command line.
struct OptionArg {
    std::ptrdiff_t row = -1;  // in the table; -1: the argument names no row
    std::string name;         // "--port", without the "=1" of "--port=1"
    std::string value;
    std::string error;  // "--help takes no value", "--baud needs a value"
};

// "--name=value" taken apart; a short name or a word without "--" has no value in it.
OptionArg SplitOptionArg(const std::string& arg);

// Reads the option at args[i] (and its value, in the next argument or after "=")
// and steps `i` past what it took.
template <class Target, std::size_t N>
OptionArg ReadOption(const Option<Target> (&table)[N], const std::vector<std::string>& args,
                     std::size_t& i) {
    OptionArg arg = SplitOptionArg(args[i++]);
    const bool inline_value = arg.name.size() < args[i - 1].size();
    for (std::size_t r = 0; r < N && arg.row < 0; ++r) {
        const Option<Target>& o = table[r];
        if (arg.name == o.name || (o.shortName && !inline_value && arg.name == o.shortName))
            arg.row = static_cast<std::ptrdiff_t>(r);
    }
    if (arg.row < 0) return arg;
    const char* const valueName = table[arg.row].valueName;
    if (valueName == nullptr) {
        if (inline_value) arg.error = arg.name + " takes no value";
    } else if (!inline_value && valueName[0] == '[') {
        // A next word that is no option can only be this option's value.
        if (i < args.size() && args[i].rfind('-', 0) != 0) arg.value = args[i++];
    } else if (!inline_value) {
        if (i < args.size())
            arg.value = args[i++];
        else
            arg.error = arg.name + " needs a value";
    }
    return arg;
}

// One option's lines of a help text: "  -h, --help VALUE" and the help from
// `column` on (on a line of its own when the names reach that far), wrapped
// before `width`.
std::string OptionHelpLines(const char* shortName, const char* name, const char* valueName,
                            const std::string& help, std::size_t column, std::size_t width = 79);

// The table's lines of a help text, in the table's order, each heading after a blank line.
template <class Target, std::size_t N>
std::string OptionsHelp(const Option<Target> (&table)[N], std::size_t column) {
    std::string text;
    for (const Option<Target>& o : table) {
        if (o.heading) text += std::string("\n") + o.heading + "\n";
        text += OptionHelpLines(o.shortName, o.name, o.valueName, o.help, column);
    }
    return text;
}

// Decimal digits only, no sign, from `lo` to `hi`; anything else, or a number
// too big for 64 bits, is nullopt.
std::optional<std::int64_t> WholeNumber(const std::string& text, std::int64_t lo, std::int64_t hi);

}  // namespace tally
