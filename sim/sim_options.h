// Command-line options of vl4300-sim.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tally::sim {

struct SimOptions {
    // The stations answered on the one line, in the order given; more than one is a
    // multi-drop line.
    std::vector<int> stations{1};
    int port = 1;
    std::string dir;  // empty: DefaultLinkFolder
    std::uint64_t seed = 1;
    int baud = 0;  // 0: answer at any line speed
    double dropProbability = 0.0;
    int delayMs = 0;
    // --chunk MS: answer bytes are handed over on a grid of MS milliseconds, all that
    // are due at once, as a USB serial adapter does; 0: each byte when it is due.
    int chunkMs = 0;
    bool split = false;
    double garbleProbability = 0.0;
    bool noise = false;
    // --exception FC:CODE: Modbus function FC is answered with exception CODE.
    std::map<int, int> exceptions;
    // --wrong-station P: a Modbus answer carries another station's address.
    double wrongStationProbability = 0.0;
    std::string logFile;
    std::string statsFile;
    bool help = false;
};

struct ParsedOptions {
    SimOptions options;
    std::string error;  // empty when the command line was valid
};

ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string HelpText();

}  // namespace tally::sim
