#include "app/command_line.h"

#include <algorithm>

namespace tally {
namespace {

using Action = CommandLine::Action;

// One option of the program. A new option is one more row here (and a field
// of CommandLine for what it carries); the help text follows the table.
struct Option {
    const char* name;       // "--version"
    const char* shortName;  // "-v", or nullptr
    const char* valueName;  // shown in the help as "--name VALUE"; nullptr: a switch
    const char* help;
    // Takes the option into the command line; returns why the value is refused, or "".
    std::string (*apply)(CommandLine& line, const std::string& value);
};

void raise(CommandLine& line, Action action) {
    line.action = std::max(line.action, action);
}

const Option kOptions[] = {
    {"--help", "-h", nullptr, "show this text and exit",
     [](CommandLine& line, const std::string&) {
         raise(line, Action::ShowHelp);
         return std::string();
     }},
    {"--version", "-v", nullptr, "show the version and exit",
     [](CommandLine& line, const std::string&) {
         raise(line, Action::ShowVersion);
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

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    const auto fail = [&line](std::string why) {
        line.action = Action::Fail;
        line.error = std::move(why);
        return line;
    };
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
                if (equals != std::string::npos) return fail(name + " takes no value");
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail(name + " needs a value");
            }
            if (std::string why = own->apply(line, value); !why.empty()) return fail(why);
            continue;
        }
        const std::string qt = qtName(arg);
        if (listed(kQtSwitches, qt)) continue;
        if (listed(kQtValueOptions, qt)) {
            if (++i >= args.size()) return fail(arg + " needs a value");
            continue;
        }
        return fail(arg.size() > 1 && arg[0] == '-' ? "unknown option " + arg
                                                    : "unexpected argument " + arg);
    }
    return line;
}

std::string CommandLineHelp() {
    std::string text =
        "Usage: tallyscope [options]\n"
        "\n"
        "Service and monitoring tool for the VL4300 counter module. Without options\n"
        "it opens its window.\n"
        "\n"
        "Options:\n";
    for (const Option& o : kOptions) {
        std::string left = "  ";
        if (o.shortName) left += std::string(o.shortName) + ", ";
        left += o.name;
        if (o.valueName) left += std::string(" ") + o.valueName;
        left.resize(std::max<std::size_t>(left.size() + 2, 22), ' ');
        text += left + o.help + "\n";
    }
    text +=
        "\n"
        "Qt's own options, such as -platform NAME or -style NAME, are passed on to Qt.\n"
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
