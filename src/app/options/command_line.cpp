#include "app/options/command_line.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "app/options/option_table.h"
#include "app/options/options_file.h"
#include "numbers/number_text.h"
#include "protocol/baud_rates.h"
#include "protocol/station_list.h"

namespace tally {
namespace {

using Action = CommandLine::Action;
using Text = const std::string&;

// What the program makes of a row, besides taking its value.
enum Marks : unsigned {
    kInFile = 1,        // may stand in an options file
    kRun = 2,           // belongs to a headless run
    kNeeded = 4,        // a headless run needs it
    kUnlessBroker = 8,  // ... unless it publishes to a broker
    kBroker = 16,       // does nothing without --mqtt
    kRunFile = kInFile | kRun,
};

void raise(CommandLine& line, Action action) {
    line.action = std::max(line.action, action);
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

// A file's first line, or why it cannot be read: "--mqtt-ca FILE: cannot be read: ...".
std::optional<std::string> readable(Text name, Text path, std::string& why) {
    std::string error;
    const auto line = path.empty() ? std::nullopt : ReadFirstLine(path, error);
    if (!line) why = name + " " + path + ": cannot be read: " + (path.empty() ? "no file" : error);
    return line;
}

// Takes a whole number lo-hi into `field`, or says what to give: "--pause 2000: give ...".
template <class Field>
std::string number(Field& field, std::int64_t lo, std::int64_t hi, Text name, Text v,
                   const char* give) {
    const auto n = WholeNumber(v, lo, hi);
    if (!n) return name + " " + v + ": " + give;
    field = static_cast<Field>(*n);
    return {};
}

std::string takeOptionsFile(CommandLine& line, Text name, Text value) {
    if (value.empty()) return name + " needs a file name";
    if (!line.optionsFile.empty() && line.optionsFile != value) return name + " given twice";
    line.optionsFile = value;
    return {};
}

// Every option, in the order the help lists them. A new option is one more row
// here (and a field of HeadlessOptions or MqttOptions for what it carries).
const Option<CommandLine> kOptions[] = {
    {"--help", "-h", nullptr, 0, "show this text and exit",
     [](CommandLine& l, Text, Text) {
         raise(l, Action::ShowHelp);
         return std::string();
     }},
    {"--version", "-v", nullptr, 0, "show the version and exit",
     [](CommandLine& l, Text, Text) {
         raise(l, Action::ShowVersion);
         return std::string();
     }},
    {"--headless", nullptr, nullptr, kInFile, "poll and log with no window (the options below)",
     [](CommandLine& l, Text, Text) {
         raise(l, Action::RunHeadless);
         return std::string();
     }},
    {"--port", nullptr, "N|DEVICE", kRunFile | kNeeded,
     "port 1-16 numbered as in the window, or a device path (with a /: from the working folder)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         if (v.empty()) return name + " needs a port number 1-16 or a device path";
         l.headless.port = v;
         l.headless.portNumber = 0;
         if (std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
             const auto n = WholeNumber(v, 1, 16);
             if (!n) return name + " " + v + ": port numbers go from 1 to 16";
             l.headless.portNumber = static_cast<int>(*n);
         }
         return {};
     }},
    {"--baud", nullptr, "B", kRunFile | kNeeded, BaudRatesText(),
     [](CommandLine& l, Text name, Text v) -> std::string {
         const auto n = WholeNumber(v, 1, 10'000'000);
         if (!n || !IsBaudRate(*n)) return name + " " + v + ": use " + BaudRatesText();
         l.headless.baud = static_cast<int>(*n);
         return {};
     }},
    {"--station", nullptr, "LIST", kRunFile | kNeeded,
     "station 0-31, or several on one line in polling order: 1,2,5-7 (Modbus: 1-31)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         StationList list = ParseStationList(v);
         if (!list.error.empty()) return name + " " + v + ": " + list.error;
         l.headless.stations = std::move(list.stations);
         l.headless.station = l.headless.stations.front();
         return {};
     }},
    {"--protocol", nullptr, "P", kRunFile | kNeeded,
     "korvi, ascii (Modbus ASCII) or rtu (Modbus RTU)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         const std::optional<Protocol> protocol = ParseProtocolName(v);
         if (!protocol) return name + " " + v + ": use korvi, ascii or rtu";
         l.headless.protocol = *protocol;
         return {};
     }},
    {"--every", nullptr, "SECONDS", kRunFile | kNeeded,
     "1-60 seconds from one poll cycle to the next",
     [](CommandLine& l, Text name, Text v) -> std::string {
         const auto n = WholeNumber(v, 1, 60);
         if (!n) {
             // The window's 0 reads once; a run that goes on polling has no use for that.
             const bool singleRead = WholeNumber(v, 0, 0).has_value();
             return name + " " + v + ": give whole seconds from 1 to 60" +
                    (singleRead ? " (0, the window's single read, has no meaning in a headless run)"
                                : "");
         }
         l.headless.everySeconds = static_cast<int>(*n);
         return {};
     }},
    {"--read", nullptr, "LIST", kRunFile | kNeeded,
     "what each cycle reads: dc, di, do, comma-separated",
     [](CommandLine& l, Text name, Text v) -> std::string {
         HeadlessOptions& o = l.headless;
         o.readCounters = o.readInputs = o.readOutputs = false;
         for (const std::string& kind : split(v)) {
             bool* const read = kind == "dc"   ? &o.readCounters
                                : kind == "di" ? &o.readInputs
                                : kind == "do" ? &o.readOutputs
                                               : nullptr;
             if (!read) return name + " " + v + ": list dc, di and/or do, separated by commas";
             *read = true;
         }
         return {};
     }},
    {"--multiply", nullptr, "M1,...,M8|S:M1,...,M8", kRunFile,
     "eight multipliers for the scaled columns (default 1); S: for station S only (repeatable)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         // "m1,...,m8" for every station, or "S:m1,...,m8" for station S.
         const std::size_t colon = v.find(':');
         std::array<double, 8>* target = &l.headless.multipliers;
         if (colon != std::string::npos) {
             const auto station = WholeNumber(v.substr(0, colon), 0, kLastStation);
             if (!station) return name + " " + v + ": the station before \":\" goes from 0 to 31";
             target = &l.headless.stationMultipliers[static_cast<int>(*station)];
         }
         const std::vector<std::string> parts =
             split(colon == std::string::npos ? v : v.substr(colon + 1));
         if (parts.size() != 8) return name + " needs eight multipliers, separated by commas";
         for (std::size_t i = 0; i < 8; ++i) {
             const double m = LeadingNumber(parts[i]);
             if (!IsNumeric(parts[i]) || m < -10000.0 || m > 10000.0) {
                 return name + ": multiplier " + std::to_string(i + 1) + " (" + parts[i] +
                        ") is not a number from -10000 to 10000";
             }
             (*target)[i] = m;
         }
         return {};
     }},
    {"--pause", nullptr, "MS", kRunFile, "0-1000 ms of extra quiet before a request (default 0)",
     [](CommandLine& l, Text name, Text v) {
         return number(l.headless.pauseMs, 0, 1000, name, v,
                       "give whole milliseconds from 0 to 1000");
     }},
    {"--csv", nullptr, "FILE|-", kRunFile | kNeeded | kUnlessBroker,
     "the log (- is standard output), appended to",
     [](CommandLine& l, Text name, Text v) -> std::string {
         if (v.empty()) return name + " needs a file name, or - for standard output";
         l.headless.csv = v;
         return {};
     }},
    {"--cycles", nullptr, "N", kRunFile, "stop after N cycles (default: at Ctrl+C or SIGTERM)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
         const auto n = WholeNumber(v, 1, kMost);
         if (!n) return name + " " + v + ": give a whole number from 1 to " + std::to_string(kMost);
         l.headless.cycles = *n;
         return {};
     }},
    {"--mqtt", nullptr, "URL", kRunFile,
     "publish to a broker: mqtt://[user[:password]@]host[:port] (1883) or mqtts://... (8883)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         if (const std::string why = ParseMqttUrl(l.headless.mqtt, v); !why.empty())
             return name + " " + v + ": " + why;
         return {};
     }},
    {"--mqtt-password-file", nullptr, "FILE", kRunFile | kBroker,
     "the broker password from the file's first line (see \"The broker password\")",
     [](CommandLine& l, Text name, Text v) -> std::string {
         std::string why;
         const auto password = readable(name, v, why);
         if (!password) return why;
         if (password->empty()) return name + " " + v + ": its first line, the password, is empty";
         l.headless.mqtt.filePassword = *password;
         l.headless.mqtt.passwordFile = v;
         return {};
     }},
    {"--mqtt-ca", nullptr, "FILE", kRunFile | kBroker,
     "with mqtts://, trust these CA certificates (default: the system's)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         std::string why;
         if (!readable(name, v, why)) return why;
         l.headless.mqtt.caFile = v;
         return {};
     }},
    {"--mqtt-prefix", nullptr, "P", kRunFile | kBroker,
     "topic prefix (default tallyscope/<hostname>)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         if (const std::string why = CheckTopicPrefix(v); !why.empty())
             return name + " " + v + ": " + why;
         l.headless.mqtt.prefix = v;
         return {};
     }},
    {"--mqtt-client-id", nullptr, "ID", kRunFile | kBroker,
     "client id (default from host name, port and prefix)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         if (v.empty() || v.size() > 65'535) return name + " needs a name";
         l.headless.mqtt.clientId = v;
         return {};
     }},
    {"--mqtt-queue", nullptr, "N", kRunFile | kBroker,
     "messages kept while the broker is away, oldest dropped past it (default 28800)",
     [](CommandLine& l, Text name, Text v) {
         return number(l.headless.mqtt.queueLimit, 1, 10'000'000, name, v,
                       "give 1 to 10000000 messages");
     }},
    {"--mqtt-drain", nullptr, "SECONDS", kRunFile | kBroker,
     "at a stop, wait at most this long to deliver what is queued (default 10)",
     [](CommandLine& l, Text name, Text v) {
         return number(l.headless.mqtt.drainSeconds, 0, 3600, name, v, "give 0 to 3600 seconds");
     }},
    {"--mqtt-discovery", nullptr, "[PREFIX]", kRunFile | kBroker,
     "publish Home Assistant discovery configs (default prefix homeassistant)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         MqttOptions& o = l.headless.mqtt;
         const std::string prefix = v.empty() ? o.discoveryPrefix : v;
         if (const std::string why = CheckTopicPrefix(prefix); !why.empty())
             return name + " " + v + ": " + why;
         o.discoveryPrefix = prefix;
         o.discovery = true;
         return {};
     }},
    {"--allow", nullptr, "STATIONS:ACTIONS", kRunFile | kBroker,
     "act on commands from the broker: stations as in --station, actions do, clear, preset, "
     "enable, comma-separated: 1-4:do (repeatable; anyone who may publish to the broker may "
     "then act)",
     [](CommandLine& l, Text name, Text v) -> std::string {
         const std::size_t colon = v.find(':');
         if (colon == std::string::npos)
             return name + " " + v + ": give STATIONS:ACTIONS, such as 1-4:do";
         const StationList list = ParseStationList(v.substr(0, colon));
         if (!list.error.empty()) return name + " " + v + ": " + list.error;
         unsigned actions = 0;
         for (const std::string& word : split(v.substr(colon + 1))) {
             const std::optional<CommandAction> action = CommandActionNamed(word);
             if (!action) {
                 return name + " " + v + ": unknown action \"" + word +
                        "\": use do, clear, preset or enable";
             }
             actions |= static_cast<unsigned>(*action);
         }
         for (const int station : list.stations)
             l.headless.mqtt.allow[station] |= actions;
         return {};
     }},
    {"--mqtt-keepalive", nullptr, "SECONDS", kRunFile | kBroker,
     "seconds between keep-alive pings (default 60)",
     [](CommandLine& l, Text name, Text v) {
         return number(l.headless.mqtt.keepAliveSeconds, 5, 3600, name, v,
                       "give 5 to 3600 seconds");
     }},
    {"--options-file", nullptr, "FILE", 0, "options from FILE, one a line; the command line wins",
     takeOptionsFile},
};

// Options QApplication takes out of the command line itself (with one dash or
// two); they are left in place for it. Those first in the list carry a value.
const char* const kQtValueOptions[] = {"platform",      "platformpluginpath",
                                       "platformtheme", "plugin",
                                       "qmljsdebugger", "qwindowgeometry",
                                       "qwindowicon",   "qwindowtitle",
                                       "session",       "style",
                                       "stylesheet",    "display",
                                       "geometry",      "icon",
                                       "name",          "title"};
const char* const kQtSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// "-platform" or "--platform" gives "platform"; anything else "".
std::string qtName(const std::string& arg) {
    if (arg.size() < 2 || arg[0] != '-') return {};
    return arg.substr(arg[1] == '-' ? 2 : 1);
}

template <std::size_t N>
bool listed(const char* const (&names)[N], const std::string& name) {
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* n) { return name == n; });
}

// `message` with `value` in it shown without a password ("user:***@"), so no
// message shows one, whichever option echoes its value.
std::string withoutPassword(std::string message, const std::string& value) {
    const std::string shown = MaskedPassword(value);
    if (shown == value) return message;
    for (std::size_t at = message.find(value); at != std::string::npos;
         at = message.find(value, at + shown.size()))
        message.replace(at, value.size(), shown);
    return message;
}

// Takes `args` into `line`; returns why they are refused, or "". An options
// file's line (`inFile`) may only name a row marked for it, and no Qt option.
std::string takeArgs(CommandLine& line, const std::vector<std::string>& args, bool inFile) {
    for (std::size_t i = 0; i < args.size();) {
        const std::string& arg = args[i];
        const OptionArg option = ReadOption(kOptions, args, i);
        if (option.row >= 0) {
            const Option<CommandLine>& row = kOptions[option.row];
            if (inFile && !(row.marks & kInFile)) {
                return row.take == takeOptionsFile
                           ? "an options file cannot name another one"
                           : option.name + " belongs on the command line, not in an options file";
            }
            if (!option.error.empty()) return option.error;
            if (std::string why = row.take(line, option.name, option.value); !why.empty())
                return withoutPassword(why, option.value);
            line.given.push_back(row.name);
            continue;
        }
        const std::string qt = inFile ? std::string() : qtName(arg);
        if (listed(kQtSwitches, qt)) continue;
        if (listed(kQtValueOptions, qt)) {
            if (i >= args.size()) return arg + " needs a value";
            ++i;
            continue;
        }
        return (arg.size() > 1 && arg[0] == '-' ? "unknown option " : "unexpected argument ") +
               MaskedPassword(arg);
    }
    return std::string();
}

bool given(const CommandLine& line, const char* name) {
    return std::find(line.given.begin(), line.given.end(), name) != line.given.end();
}

// Why the options taken, each right, make no run: an option of a run without
// --headless, one a run needs left out, options that do not go together.
std::string checkRun(CommandLine& line) {
    if (line.action == Action::RunWindow) {
        for (const std::string& name : line.given) {
            const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                          [&](const auto& o) { return name == o.name; });
            if (row->marks & kRun) return name + " belongs to a headless run: add --headless";
        }
    }
    if (line.action != Action::RunHeadless) return std::string();
    for (const Option<CommandLine>& row : kOptions) {
        if (!(row.marks & kNeeded) || given(line, row.name)) continue;
        // A run that publishes need not write a file as well.
        if (!(row.marks & kUnlessBroker)) return std::string("a headless run needs ") + row.name;
        if (!line.headless.mqtt.enabled)
            return std::string("a headless run needs ") + row.name + " or --mqtt";
    }
    if (const std::string why = HeadlessOptionConflict(line.headless); !why.empty()) return why;
    if (!line.headless.mqtt.enabled) {
        for (const Option<CommandLine>& row : kOptions) {
            if ((row.marks & kBroker) && given(line, row.name))
                return std::string(row.name) +
                       " needs --mqtt URL: without a broker it does nothing";
        }
    }
    return FinishMqttOptions(line.headless.mqtt, std::getenv(kCredentialsVariable),
                             std::getenv(kMqttPasswordVariable));
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    const auto fail = [&line](std::string why) {
        line.action = Action::Fail;
        line.error = std::move(why);
        return line;
    };
    if (std::string why = takeArgs(line, args, false); !why.empty()) return fail(why);
    if (!line.optionsFile.empty()) {
        // The file's options first, each line on its own, so the command line overrides them.
        const OptionsFile file = ReadOptionsFile(line.optionsFile);
        if (!file.error.empty()) return fail(file.error);
        CommandLine fromFile;
        fromFile.optionsFile = line.optionsFile;
        for (const OptionsFileLine& option : file.lines) {
            if (std::string why = takeArgs(fromFile, {option.arg}, true); !why.empty()) {
                return fail(line.optionsFile + ":" + std::to_string(option.number) + ": " + why);
            }
        }
        if (std::string why = takeArgs(fromFile, args, false); !why.empty()) return fail(why);
        line = std::move(fromFile);
    }
    if (std::string why = checkRun(line); !why.empty()) return fail(why);
    return line;
}

std::string CommandLineHelp() {
    std::string text =
        "Usage: tallyscope [options]\n"
        "       tallyscope --headless --port N|DEVICE --baud B --station S[,S|S-S...]\n"
        "                  --protocol korvi|ascii|rtu --every SECONDS --read dc,di,do\n"
        "                  [--multiply [S:]M1,...,M8] [--pause MS] --csv FILE|- [--cycles N]\n"
        "                  [--mqtt URL [--mqtt-... options] [--allow STATIONS:ACTIONS]]\n"
        "       tallyscope --headless --options-file FILE [options]\n"
        "\n"
        "Service and monitoring tool for the VL4300 counter module. Without options\n"
        "it opens its window. With --headless it polls the module with no window and\n"
        "no display and writes one CSV row per poll cycle, with a progress line a\n"
        "minute on standard error; Ctrl+C or SIGTERM stops it after the exchange on\n"
        "the line, SIGHUP reopens the CSV file (log rotation). Exit codes: 0 done,\n"
        "2 usage error, 3 the port could not be opened (or failed), 4 the log could\n"
        "not be written.\n"
        "\n"
        "Options:\n";
    text += OptionsHelp(kOptions, 25);
    text +=
        "\n"
        "Qt's own options, such as -platform NAME or -style NAME, are passed on to Qt.\n"
        "\n"
        "The broker password, for the user the --mqtt URL names: the URL's own, else the\n"
        "first line of --mqtt-password-file, else that of the credential mqtt-password\n"
        "($CREDENTIALS_DIRECTORY/mqtt-password, which the service passes), else\n"
        "$TALLYSCOPE_MQTT_PASSWORD. A password without a user name is a usage error.\n"
        "\n"
        "Files:\n"
        "  InitialVL4300.ini   the settings: beside the program when its folder is\n"
        "                      writable, otherwise in ~/.config/tallyscope/\n"
        "  COM<n>              a link that names port n (ln -s /dev/ttyUSB0 COM1),\n"
        "                      looked up beside the program, then in ~/.config/tallyscope/\n";
    return text;
}

std::string VersionText() {
    return std::string("tallyscope ") + TALLYSCOPE_VERSION + "\n";
}

}  // namespace tally
