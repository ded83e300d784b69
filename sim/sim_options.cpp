#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "protocol/station_list.h"

namespace tally::sim {

namespace {

std::optional<long long> WholeNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

// Decimal, or hexadecimal after "0x".
std::optional<long long> Number(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        errno = 0;
        char* end = nullptr;
        const long long value = std::strtoll(text.c_str() + 2, &end, 16);
        if (errno != 0 || *end != '\0' || end == text.c_str() + 2) return std::nullopt;
        return value;
    }
    return WholeNumber(text);
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

}  // namespace

std::string HelpText() {
    return R"(Usage: vl4300-sim [options]

Simulates VL4300 counter modules on a pseudo-terminal. Each module answers
the own protocol ("#"), Modbus ASCII (":") and Modbus RTU, told apart by the
first byte of each request, so the master may switch protocols at any time.
At start the pseudo-terminal's device path is printed on a line of its own and
DIR/COM<N> is made a symbolic link to it. SIGINT or SIGTERM removes the link,
prints a summary and exits.

Module:
  --station LIST  answer as each station of LIST, 0-31 (default 1): numbers
                  and inclusive ranges separated by commas, e.g. 1,2,5-7, each
                  station once; several stations share the one line as on
                  RS-485, each with its own counters, inputs, outputs and
                  enable flags, and a request for a station not listed gets no
                  answer; Modbus station 0 is the broadcast address: every
                  module carries out the write, none answers
  --seed N        seed of the input pattern, the first counter values and the
                  faults (default 1); the first listed station uses it as it
                  is, each other station a seed made from it and its number;
                  every module's life advances one step per request received,
                  so the same seed and the same requests give the same
                  answers; 0 keeps the inputs still and starts every counter
                  at 0
  --baud B        answer only while the master's line speed is B (otherwise
                  stay silent, as a module set to another speed would);
                  default: answer at any speed

  --chunk MS      hand the answer bytes over every MS milliseconds (1-50), all
                  that the line has carried by then at once, as a USB serial
                  adapter does; default 0: each byte as soon as it is through

Link:
  --dir DIR       folder of the COM<N> link (default: the folder of this
                  executable when it is writable, else ~/.config/tallyscope;
                  tallyscope looks in both)
  --port N        link name COM<N>, N 1-99 (default 1); an existing file there
                  that is not a symbolic link is never replaced

Faults (deterministic with the seed; each station draws its own):
  --drop P        leave a request unanswered with probability P (0-1)
  --delay MS      wait MS milliseconds more before each answer
  --split         send each answer in two or three pieces with gaps of
                  10-60 ms between them
  --garble P      corrupt one or two bytes of an answer with probability P
  --noise         send a few stray bytes on the idle line between exchanges
  --exception FC:CODE
                  answer every Modbus request of function FC with exception
                  CODE and do nothing (e.g. 2:2, inputs: Illegal Data Address);
                  FC and CODE 1-255, decimal or 0x hex; may be given again for
                  other functions
  --wrong-station P
                  address a Modbus answer to another station (checksum still
                  right) with probability P (0-1); own-protocol answers carry
                  no station and are not changed

Line monitor:
  --log FILE      log every request and answer in hex, one line each, stamped
                  with the seconds since start at which its last byte was on
                  the line ("RX" received, "TX" sent)
  --stats FILE    write the counts (requests, writes, answers, overlaps...)
                  and the module's state as JSON; rewritten after every
                  request and at exit; with several stations, the counts of
                  the whole line and, under "stations", each station's own
                  counts and state
  -h, --help      show this text

Replies are paced at the speed the master set on the pseudo-terminal, ten bits
a byte; a request is heard as if it came at that speed too, so the answer
starts only after the request's own time on the line (in Modbus RTU, and the
3.5-character silence that ends it). An overlap is a request that starts arriving while the answer to the
previous request is not completely sent, unless it comes 0.3 s or more after
that request ended and the answer began only after those 0.3 s (a master that
timed out could not hear it coming); the master should never cause one. An early RTU request (rtu_early)
starts less than 3.5 character times (11 bits each; 1.75 ms above 19200 baud)
after the last byte of an answer left; Modbus RTU frames are told apart by that
silence, so a master must keep it and rtu_early must stay 0.
)";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    SimOptions& o = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--split") {
            o.split = true;
            continue;
        }
        if (name == "--noise") {
            o.noise = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            parsed.error =
                name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
            return parsed;
        }
        const std::string& value = args[++i];
        const auto number = WholeNumber(value);
        const auto bad = [&] {
            parsed.error = "bad value for " + name + ": " + value;
            return parsed;
        };
        if (name == "--station") {
            StationList list = ParseStationList(value);
            if (!list.error.empty()) {
                parsed.error = "--station " + value + ": " + list.error;
                return parsed;
            }
            o.stations = std::move(list.stations);
        } else if (name == "--port") {
            if (!number || *number < 1 || *number > 99) return bad();
            o.port = static_cast<int>(*number);
        } else if (name == "--seed") {
            if (!number || *number < 0) return bad();
            o.seed = static_cast<std::uint64_t>(*number);
        } else if (name == "--baud") {
            if (!number || *number < 50 || *number > 4000000) return bad();
            o.baud = static_cast<int>(*number);
        } else if (name == "--delay") {
            if (!number || *number < 0 || *number > 60000) return bad();
            o.delayMs = static_cast<int>(*number);
        } else if (name == "--chunk") {
            if (!number || *number < 0 || *number > 50) return bad();
            o.chunkMs = static_cast<int>(*number);
        } else if (name == "--drop") {
            const auto p = Probability(value);
            if (!p) return bad();
            o.dropProbability = *p;
        } else if (name == "--garble") {
            const auto p = Probability(value);
            if (!p) return bad();
            o.garbleProbability = *p;
        } else if (name == "--wrong-station") {
            const auto p = Probability(value);
            if (!p) return bad();
            o.wrongStationProbability = *p;
        } else if (name == "--exception") {
            const auto pair = FunctionAndCode(value);
            if (!pair) return bad();
            o.exceptions[pair->first] = pair->second;
        } else if (name == "--dir") {
            o.dir = value;
        } else if (name == "--log") {
            o.logFile = value;
        } else if (name == "--stats") {
            o.statsFile = value;
        } else {
            parsed.error = "unknown option " + name;
            return parsed;
        }
    }
    return parsed;
}

}  // namespace tally::sim
