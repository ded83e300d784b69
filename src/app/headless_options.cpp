#include "app/headless_options.h"

#include <algorithm>
#include <optional>
#include <set>

#include "ui/number_text.h"

namespace tally {
namespace {

// The rates the window offers.
const int kBauds[] = {1200, 2400, 4800, 9600, 14400, 19200, 28800, 57600};

const std::set<std::string> kValued = {"--port", "--baud", "--station", "--protocol", "--every",
                                       "--read", "--csv",  "--cycles",  "--multiply"};
const std::set<std::string> kRequired = {"--port",  "--baud", "--station", "--protocol",
                                         "--every", "--read", "--csv"};

std::optional<std::int64_t> wholeNumber(const std::string& text, std::int64_t lo, std::int64_t hi) {
    if (text.empty() || text.size() > 12 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const std::int64_t value = std::stoll(text);
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

// Empty when the value is good, otherwise why not.
std::string apply(HeadlessOptions& o, const std::string& name, const std::string& value) {
    if (name == "--port") {
        if (value.empty()) return "--port needs a port number 1-16 or a device path";
        o.port = value;
        o.portNumber = 0;
        if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            const auto n = wholeNumber(value, 1, 16);
            if (!n) return "--port " + value + ": port numbers go from 1 to 16";
            o.portNumber = static_cast<int>(*n);
        }
    } else if (name == "--baud") {
        const auto n = wholeNumber(value, 1, 10'000'000);
        if (!n || std::find(std::begin(kBauds), std::end(kBauds), *n) == std::end(kBauds)) {
            return "--baud " + value + ": use 1200, 2400, 4800, 9600, 14400, 19200, 28800 or 57600";
        }
        o.baud = static_cast<int>(*n);
    } else if (name == "--station") {
        const auto n = wholeNumber(value, 0, 31);
        if (!n) return "--station " + value + ": stations go from 0 to 31";
        o.station = static_cast<int>(*n);
    } else if (name == "--protocol") {
        if (value == "korvi") {
            o.protocol = Protocol::Own;
        } else if (value == "ascii" || value == "modbus-ascii") {
            o.protocol = Protocol::ModbusAscii;
        } else if (value == "rtu" || value == "modbus-rtu") {
            o.protocol = Protocol::ModbusRtu;
        } else {
            return "--protocol " + value + ": use korvi, ascii or rtu";
        }
    } else if (name == "--every") {
        const auto n = wholeNumber(value, 1, 60);
        if (!n) return "--every " + value + ": give whole seconds from 1 to 60";
        o.everySeconds = static_cast<int>(*n);
    } else if (name == "--read") {
        o.readCounters = o.readInputs = o.readOutputs = false;
        for (const std::string& kind : split(value)) {
            if (kind == "dc") {
                o.readCounters = true;
            } else if (kind == "di") {
                o.readInputs = true;
            } else if (kind == "do") {
                o.readOutputs = true;
            } else {
                return "--read " + value + ": list dc, di and/or do, separated by commas";
            }
        }
    } else if (name == "--multiply") {
        const std::vector<std::string> parts = split(value);
        if (parts.size() != 8) return "--multiply needs eight multipliers, separated by commas";
        for (std::size_t i = 0; i < 8; ++i) {
            const double m = LeadingNumber(parts[i]);
            if (!IsNumeric(parts[i]) || m < -10000.0 || m > 10000.0) {
                return "--multiply: multiplier " + std::to_string(i + 1) + " (" + parts[i] +
                       ") is not a number from -10000 to 10000";
            }
            o.multipliers[i] = m;
        }
    } else if (name == "--csv") {
        if (value.empty()) return "--csv needs a file name, or - for standard output";
        o.csv = value;
    } else if (name == "--cycles") {
        const auto n = wholeNumber(value, 1, 1'000'000'000'000);
        if (!n) return "--cycles " + value + ": give a whole number of at least 1";
        o.cycles = *n;
    }
    return std::string();
}

CommandLine usageError(std::string reason) {
    CommandLine line;
    line.mode = CommandLine::Mode::UsageError;
    line.error = std::move(reason);
    return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    const auto has = [&args](const char* name) {
        return std::find(args.begin(), args.end(), name) != args.end();
    };
    CommandLine line;
    if (has("--help") || has("-h")) {
        line.mode = CommandLine::Mode::Help;
        return line;
    }
    if (has("--version")) {
        line.mode = CommandLine::Mode::Version;
        return line;
    }
    if (!has("--headless")) return line;  // the window; Qt takes what it knows

    line.mode = CommandLine::Mode::Headless;
    std::set<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name == "--headless" && !hasValue) continue;
        if (kValued.count(name) == 0) return usageError("unknown option " + args[i]);
        if (!hasValue) {
            if (i + 1 >= args.size()) return usageError(name + " needs a value");
            value = args[++i];
        }
        if (const std::string error = apply(line.headless, name, value); !error.empty()) {
            return usageError(error);
        }
        given.insert(name);
    }
    for (const std::string& name : kRequired) {
        if (given.count(name) == 0) return usageError("missing " + name);
    }
    return line;
}

std::string UsageText() {
    return "Usage: tallyscope [--help | --version]\n"
           "       tallyscope --headless --port N|DEVICE --baud B --station S\n"
           "                  --protocol korvi|ascii|rtu --every SECONDS --read dc,di,do\n"
           "                  [--multiply m1,...,m8] --csv FILE|- [--cycles N]\n"
           "\n"
           "Without options the window opens. With --headless the module is polled with no\n"
           "window and one CSV row per poll cycle goes to FILE (- for standard output);\n"
           "a progress line goes to standard error once a minute.\n"
           "\n"
           "  --port N|DEVICE   port number 1-16 as in the window (COM<n> links beside the\n"
           "                    program, then the serial devices in order), or a device path\n"
           "  --baud B          1200, 2400, 4800, 9600, 14400, 19200, 28800 or 57600\n"
           "  --station S       0-31\n"
           "  --protocol P      korvi, ascii (Modbus ASCII) or rtu (Modbus RTU)\n"
           "  --every SECONDS   1-60 seconds from one poll cycle to the next\n"
           "  --read LIST       what each cycle reads: dc (counters), di (inputs), do (outputs)\n"
           "  --multiply LIST   eight multipliers for the scaled columns (default 1 each)\n"
           "  --csv FILE|-      the log; an existing log with the same columns is appended to\n"
           "  --cycles N        stop after N cycles (default: until Ctrl+C or SIGTERM)\n"
           "\n"
           "Exit codes: 0 done, 2 usage error, 3 port could not be opened,\n"
           "4 the log could not be written.\n";
}

}  // namespace tally
