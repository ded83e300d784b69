#include "app/command_line.h"

#include <algorithm>
#include <cstdlib>

#include "app/options_file.h"
#include "protocol/baud_rates.h"

namespace tally {
namespace {

using Action = CommandLine::Action;

// One option of the program. A new option is one more row here (and a field
// of CommandLine for what it carries); the help text follows the table.
struct Option {
    const char* name;       // "--version"
    const char* shortName;  // "-v", or nullptr
    const char* valueName;  // shown in the help as "--name VALUE"; nullptr: a switch;
                            // "[VALUE]": the value may be left out
    std::string help;
    // Takes the option into the command line; returns why the value is refused, or "".
    std::string (*apply)(CommandLine& line, const std::string& name, const std::string& value);
};

void raise(CommandLine& line, Action action) {
    line.action = std::max(line.action, action);
}

std::string headless(CommandLine& line, const std::string& name, const std::string& value) {
    return SetHeadlessOption(line.headless, name, value);
}

const Option kOptions[] = {
    {"--help", "-h", nullptr, "show this text and exit",
     [](CommandLine& line, const std::string&, const std::string&) {
         raise(line, Action::ShowHelp);
         return std::string();
     }},
    {"--version", "-v", nullptr, "show the version and exit",
     [](CommandLine& line, const std::string&, const std::string&) {
         raise(line, Action::ShowVersion);
         return std::string();
     }},
    {"--headless", nullptr, nullptr, "poll and log with no window (the options below)",
     [](CommandLine& line, const std::string&, const std::string&) {
         raise(line, Action::RunHeadless);
         return std::string();
     }},
    {"--port", nullptr, "N|DEVICE", "port 1-16 numbered as in the window, or a device path",
     headless},
    {"--baud", nullptr, "B", BaudRatesText(), headless},
    {"--station", nullptr, "LIST",
     "station 0-31, or several on one line in polling order: 1,2,5-7 (Modbus: 1-31)", headless},
    {"--protocol", nullptr, "P", "korvi, ascii (Modbus ASCII) or rtu (Modbus RTU)", headless},
    {"--every", nullptr, "SECONDS", "1-60 seconds from one poll cycle to the next", headless},
    {"--read", nullptr, "LIST", "what each cycle reads: dc, di, do, comma-separated", headless},
    {"--multiply", nullptr, "M1,...,M8|S:M1,...,M8",
     "eight multipliers for the scaled columns (default 1); S: for station S only (repeatable)",
     headless},
    {"--pause", nullptr, "MS", "0-1000 ms of extra quiet before every request (default 0)",
     headless},
    {"--csv", nullptr, "FILE|-", "the log (- is standard output), appended to", headless},
    {"--cycles", nullptr, "N", "stop after N cycles (default: at Ctrl+C or SIGTERM)", headless},
    {"--mqtt", nullptr, "URL",
     "publish to a broker: mqtt://[user[:password]@]host[:port] (1883) or mqtts://... (8883)",
     headless},
    {"--mqtt-password-file", nullptr, "FILE",
     "the broker password from the file's first line (see \"The broker password\")", headless},
    {"--mqtt-ca", nullptr, "FILE",
     "with mqtts://, trust these CA certificates (default: the system's)", headless},
    {"--mqtt-prefix", nullptr, "P", "topic prefix (default tallyscope/<hostname>)", headless},
    {"--mqtt-client-id", nullptr, "ID", "client id (default from host name, port and prefix)",
     headless},
    {"--mqtt-queue", nullptr, "N",
     "messages kept while the broker is away, oldest dropped past it (default 28800)", headless},
    {"--mqtt-drain", nullptr, "SECONDS",
     "at a stop, wait at most this long to deliver what is queued (default 10)", headless},
    {"--mqtt-discovery", nullptr, "[PREFIX]",
     "publish Home Assistant discovery configs (default prefix homeassistant)", headless},
    {"--mqtt-keepalive", nullptr, "SECONDS", "seconds between keep-alive pings (default 60)",
     headless},
    {"--options-file", nullptr, "FILE", "options from FILE, one a line; the command line wins",
     [](CommandLine& line, const std::string& name, const std::string& value) {
         if (value.empty()) return name + " needs a file name";
         if (!line.optionsFile.empty() && line.optionsFile != value) return name + " given twice";
         line.optionsFile = value;
         return std::string();
     }},
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

// Takes `args` into `line`; returns why they are refused, or "".
std::string takeArgs(CommandLine& line, const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const auto own =
            std::find_if(std::begin(kOptions), std::end(kOptions), [&](const Option& o) {
                return name == o.name ||
                       (o.shortName && equals == std::string::npos && name == o.shortName);
            });
        if (own != std::end(kOptions)) {
            std::string value;
            if (own->valueName == nullptr) {
                if (equals != std::string::npos) return name + " takes no value";
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (own->valueName[0] == '[') {
                // Runs take no arguments of their own, so a next word that is no
                // option can only be this option's value.
                if (i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0) value = args[++i];
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return name + " needs a value";
            }
            if (std::string why = own->apply(line, name, value); !why.empty())
                return withoutPassword(why, value);
            continue;
        }
        const std::string qt = qtName(arg);
        if (listed(kQtSwitches, qt)) continue;
        if (listed(kQtValueOptions, qt)) {
            if (++i >= args.size()) return arg + " needs a value";
            continue;
        }
        return (arg.size() > 1 && arg[0] == '-' ? "unknown option " : "unexpected argument ") +
               MaskedPassword(arg);
    }
    return std::string();
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    const auto fail = [&line](std::string why) {
        line.action = Action::Fail;
        line.error = std::move(why);
        return line;
    };
    if (std::string why = takeArgs(line, args); !why.empty()) return fail(why);
    if (!line.optionsFile.empty()) {
        // The file's options first, each line on its own, so the command line overrides them.
        const OptionsFile file = ReadOptionsFile(line.optionsFile);
        if (!file.error.empty()) return fail(file.error);
        CommandLine fromFile;
        fromFile.optionsFile = line.optionsFile;
        for (const OptionsFileLine& option : file.lines) {
            if (option.arg == "--options-file" || option.arg.rfind("--options-file=", 0) == 0) {
                return fail(line.optionsFile + ":" + std::to_string(option.number) +
                            ": an options file cannot name another one");
            }
            if (std::string why = takeArgs(fromFile, {option.arg}); !why.empty()) {
                return fail(line.optionsFile + ":" + std::to_string(option.number) + ": " + why);
            }
        }
        if (std::string why = takeArgs(fromFile, args); !why.empty()) return fail(why);
        line = std::move(fromFile);
    }
    if (line.action == Action::RunWindow && !line.headless.given.empty()) {
        return fail(line.headless.given.front() + " belongs to a headless run: add --headless");
    }
    if (line.action == Action::RunHeadless) {
        if (const std::string missing = MissingHeadlessOption(line.headless); !missing.empty()) {
            return fail("a headless run needs " + missing);
        }
        if (const std::string why = HeadlessOptionConflict(line.headless); !why.empty()) {
            return fail(why);
        }
        if (const std::string why =
                FinishMqttOptions(line.headless.mqtt, std::getenv(kCredentialsVariable),
                                  std::getenv(kMqttPasswordVariable));
            !why.empty()) {
            return fail(why);
        }
    }
    return line;
}

std::string CommandLineHelp() {
    std::string text =
        "Usage: tallyscope [options]\n"
        "       tallyscope --headless --port N|DEVICE --baud B --station S[,S|S-S...]\n"
        "                  --protocol korvi|ascii|rtu --every SECONDS --read dc,di,do\n"
        "                  [--multiply [S:]M1,...,M8] [--pause MS] --csv FILE|- [--cycles N]\n"
        "                  [--mqtt URL [--mqtt-... options]]\n"
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
    for (const Option& o : kOptions) {
        std::string left = "  ";
        if (o.shortName) left += std::string(o.shortName) + ", ";
        left += o.name;
        if (o.valueName) left += std::string(" ") + o.valueName;
        left.resize(std::max<std::size_t>(left.size() + 2, 25), ' ');
        text += left + o.help + "\n";
    }
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
