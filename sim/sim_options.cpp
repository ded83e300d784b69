#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <utility>

#include "app/options/option_table.h"
#include "protocol/station_list.h"

namespace tally::sim {

namespace {

using Text = const std::string&;

// Decimal, or hexadecimal after "0x".
std::optional<long long> Number(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        errno = 0;
        char* end = nullptr;
        const long long value = std::strtoll(text.c_str() + 2, &end, 16);
        if (errno != 0 || *end != '\0' || end == text.c_str() + 2) return std::nullopt;
        return value;
    }
    return WholeNumber(text, 0, std::numeric_limits<std::int64_t>::max());
}

// "FC:CODE", both 1-255.
std::optional<std::pair<int, int>> FunctionAndCode(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto function = Number(text.substr(0, colon));
    const auto code = Number(text.substr(colon + 1));
    if (!function || !code || *function < 1 || *function > 255 || *code < 1 || *code > 255)
        return std::nullopt;
    return std::pair{static_cast<int>(*function), static_cast<int>(*code)};
}

std::optional<double> Probability(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(value >= 0.0 && value <= 1.0)) return std::nullopt;
    return value;
}

std::string Bad(Text name, Text value) {
    return "bad value for " + name + ": " + value;
}

// `field` from a whole number lo-hi.
template <class Field>
std::string TakeNumber(Field& field, std::int64_t lo, std::int64_t hi, Text name, Text value) {
    const auto n = WholeNumber(value, lo, hi);
    if (!n) return Bad(name, value);
    field = static_cast<Field>(*n);
    return {};
}

std::string TakeProbability(double& field, Text name, Text value) {
    const auto p = Probability(value);
    if (!p) return Bad(name, value);
    field = *p;
    return {};
}

const Option<SimOptions> kOptions[] = {
    {"--station", nullptr, "LIST", 0,
     "answer as each station of LIST, 0-31 (default 1): numbers and inclusive ranges separated "
     "by commas, e.g. 1,2,5-7, each station once; several stations share the one line as on "
     "RS-485, each with its own counters, inputs, outputs and enable flags, and a request for a "
     "station not listed gets no answer; Modbus station 0 is the broadcast address: every "
     "module carries out the write, none answers",
     [](SimOptions& o, Text name, Text v) -> std::string {
         StationList list = ParseStationList(v);
         if (!list.error.empty()) return name + " " + v + ": " + list.error;
         o.stations = std::move(list.stations);
         return {};
     },
     "Module:"},
    {"--seed", nullptr, "N", 0,
     "seed of the input pattern, the first counter values and the faults (default 1); the first "
     "listed station uses it as it is, each other station a seed made from it and its number; "
     "every module's life advances one step per request received, so the same seed and the "
     "same requests give the same answers; 0 keeps the inputs still and starts every counter "
     "at 0",
     [](SimOptions& o, Text name, Text v) {
         return TakeNumber(o.seed, 0, std::numeric_limits<std::int64_t>::max(), name, v);
     }},
    {"--baud", nullptr, "B", 0,
     "answer only while the master's line speed is B (otherwise stay silent, as a module set to "
     "another speed would); default: answer at any speed",
     [](SimOptions& o, Text name, Text v) { return TakeNumber(o.baud, 50, 4000000, name, v); }},
    {"--chunk", nullptr, "MS", 0,
     "hand the answer bytes over every MS milliseconds (1-50), all that the line has carried by "
     "then at once, as a USB serial adapter does; default 0: each byte as soon as it is through",
     [](SimOptions& o, Text name, Text v) { return TakeNumber(o.chunkMs, 0, 50, name, v); }},
    {"--dir", nullptr, "DIR", 0,
     "folder of the COM<N> link (default: the folder of this executable when it is writable, "
     "else ~/.config/tallyscope; tallyscope looks in both)",
     [](SimOptions& o, Text, Text v) {
         o.dir = v;
         return std::string();
     },
     "Link:"},
    {"--port", nullptr, "N", 0,
     "link name COM<N>, N 1-99 (default 1); an existing file there that is not a symbolic link "
     "is never replaced",
     [](SimOptions& o, Text name, Text v) { return TakeNumber(o.port, 1, 99, name, v); }},
    {"--drop", nullptr, "P", 0, "leave a request unanswered with probability P (0-1)",
     [](SimOptions& o, Text name, Text v) { return TakeProbability(o.dropProbability, name, v); },
     "Faults (deterministic with the seed; each station draws its own):"},
    {"--delay", nullptr, "MS", 0, "wait MS milliseconds more before each answer",
     [](SimOptions& o, Text name, Text v) { return TakeNumber(o.delayMs, 0, 60000, name, v); }},
    {"--split", nullptr, nullptr, 0,
     "send each answer in two or three pieces with gaps of 10-60 ms between them",
     [](SimOptions& o, Text, Text) {
         o.split = true;
         return std::string();
     }},
    {"--garble", nullptr, "P", 0, "corrupt one or two bytes of an answer with probability P",
     [](SimOptions& o, Text name, Text v) {
         return TakeProbability(o.garbleProbability, name, v);
     }},
    {"--noise", nullptr, nullptr, 0, "send a few stray bytes on the idle line between exchanges",
     [](SimOptions& o, Text, Text) {
         o.noise = true;
         return std::string();
     }},
    {"--exception", nullptr, "FC:CODE", 0,
     "answer every Modbus request of function FC with exception CODE and do nothing (e.g. 2:2, "
     "inputs: Illegal Data Address); FC and CODE 1-255, decimal or 0x hex; may be given again "
     "for other functions",
     [](SimOptions& o, Text name, Text v) {
         const auto pair = FunctionAndCode(v);
         if (!pair) return Bad(name, v);
         o.exceptions[pair->first] = pair->second;
         return std::string();
     }},
    {"--wrong-station", nullptr, "P", 0,
     "address a Modbus answer to another station (checksum still right) with probability P "
     "(0-1); own-protocol answers carry no station and are not changed",
     [](SimOptions& o, Text name, Text v) {
         return TakeProbability(o.wrongStationProbability, name, v);
     }},
    {"--log", nullptr, "FILE", 0,
     "log every request and answer in hex, one line each, stamped with the seconds since start "
     "at which its last byte was on the line (\"RX\" received, \"TX\" sent)",
     [](SimOptions& o, Text, Text v) {
         o.logFile = v;
         return std::string();
     },
     "Line monitor:"},
    {"--stats", nullptr, "FILE", 0,
     "write the counts (requests, writes, answers, overlaps...) and the module's state as JSON; "
     "rewritten after every request and at exit; with several stations, the counts of the "
     "whole line and, under \"stations\", each station's own counts and state",
     [](SimOptions& o, Text, Text v) {
         o.statsFile = v;
         return std::string();
     }},
    {"--help", "-h", nullptr, 0, "show this text",
     [](SimOptions& o, Text, Text) {
         o.help = true;
         return std::string();
     }},
};

}  // namespace

std::string HelpText() {
    return R"(Usage: vl4300-sim [options]

Simulates VL4300 counter modules on a pseudo-terminal. Each module answers
the own protocol ("#"), Modbus ASCII (":") and Modbus RTU, told apart by the
first byte of each request, so the master may switch protocols at any time.
At start the pseudo-terminal's device path is printed on a line of its own and
DIR/COM<N> is made a symbolic link to it. SIGINT or SIGTERM removes the link,
prints a summary and exits.
)" + OptionsHelp(kOptions, 18) +
           R"(
Replies are paced at the speed the master set on the pseudo-terminal, ten bits
a byte; a request is heard as if it came at that speed too, so the answer
starts only after the request's own time on the line (in Modbus RTU, and the
3.5-character silence that ends it). An overlap is a request that starts
arriving while the answer to the previous request is not completely sent,
unless it comes 0.3 s or more after that request ended and the answer began
only after those 0.3 s (a master that timed out could not hear it coming); the
master should never cause one. An early RTU request (rtu_early) starts less
than 3.5 character times (11 bits each; 1.75 ms above 19200 baud) after the
last byte of an answer left; Modbus RTU frames are told apart by that silence,
so a master must keep it and rtu_early must stay 0.
)";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size() && parsed.error.empty();) {
        const std::string& arg = args[i];
        const OptionArg option = ReadOption(kOptions, args, i);
        if (option.row < 0) {
            parsed.error = (arg.rfind('-', 0) == 0 ? "unknown option " : "unknown argument ") + arg;
        } else if (!option.error.empty()) {
            parsed.error = option.error;
        } else {
            parsed.error = kOptions[option.row].take(parsed.options, option.name, option.value);
        }
    }
    return parsed;
}

}  // namespace tally::sim
