// Several modules on one line: the headless run polling eight stations against the
// multi-drop simulator, which paces its answers at the line speed.
//
//   bench_stations [--tallyscope PATH] [--sim PATH] [--baud B] [--cycles N]
//                  [--seconds S] [--protocols korvi,ascii,rtu]     (make bench-stations)
//
// For each protocol, DC+DI+DO every second:
//  - the median cycle polling stations 1-8, against the sum of the median cycles of
//    eight runs polling one station each, measured the same way (target: ratio <= 1.1);
//  - the median cycle with stations 3 and 6 silent, against their two reply deadlines
//    (target: growth <= the two deadlines);
//  - CPU (the scheduler's count of all threads) and resident memory of the run
//    polling eight stations for S seconds after five of settling (target: <= 0.5 %
//    of one core; memory flat).
// A cycle is measured on the simulator's own log, from the first byte of the line's
// first request of the cycle (the counter read of the first listed station) to the
// last byte of the cycle's last answer, so the program's view of time plays no part.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/completeness.h"
#include "protocol/frames.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tally::Protocol;

struct Settings {
    std::string tallyscope = TALLYSCOPE_PATH;
    std::string sim = VL4300_SIM_PATH;
    int baud = 19200;
    int cycles = 6;
    int seconds = 60;
    int chunkMs = 0;  // the simulator's --chunk
    std::vector<Protocol> protocols{Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu};
};

const char* CliName(Protocol p) {
    return p == Protocol::Own ? "korvi" : p == Protocol::ModbusAscii ? "ascii" : "rtu";
}

// A child process with its output in files; stopped with SIGTERM when dropped.
class Child {
  public:
    Child(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    pid_t pid() const { return pid_; }
    // Exit status, or -1 when killed or never started.
    int wait() {
        if (pid_ <= 0) return -1;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int stop() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        return wait();
    }

  private:
    pid_t pid_ = -1;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The simulator on a folder of its own, answering as the listed stations.
class Line {
  public:
    Line(const Settings& s, const fs::path& dir, const std::string& stations)
        : dir_(dir),
          sim_({s.sim, "--dir", dir.string(), "--port", "1", "--seed", "0", "--station", stations,
                "--log", (dir / "sim.log").string(), "--stats", (dir / "sim.json").string(),
                "--chunk", std::to_string(s.chunkMs)},
               (dir / "sim.out").string(), (dir / "sim.err").string()) {
        for (int i = 0; i < 100 && !fs::is_symlink(dir / "COM1"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string port() const { return (dir_ / "COM1").string(); }
    // Stops the simulator, so its log and stats are complete.
    void finish() { sim_.stop(); }
    std::string log() const { return ReadFile((dir_ / "sim.log").string()); }
    // A count of the whole line from the stats ("overlaps", "rtu_early").
    long count(const std::string& name) const {
        const std::string json = ReadFile((dir_ / "sim.json").string());
        const auto at = json.find("\"" + name + "\": ");
        return at == std::string::npos ? -1 : std::atol(json.c_str() + at + name.size() + 4);
    }

  private:
    fs::path dir_;
    Child sim_;
};

std::vector<std::string> Headless(const Settings& s, const Line& line, Protocol protocol,
                                  const std::string& stations, const fs::path& csv) {
    return {s.tallyscope,      "--headless", "--port",
            line.port(),       "--baud",     std::to_string(s.baud),
            "--station",       stations,     "--protocol",
            CliName(protocol), "--every",    "1",
            "--read",          "dc,di,do",   "--csv",
            csv.string()};
}

struct Entry {
    double seconds;
    bool received;  // a request ("RX"), else an answer ("TX")
    std::string bytes;
};

std::vector<Entry> ParseLog(const std::string& text) {
    std::vector<Entry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        Entry e{};
        char direction[3] = {};
        if (std::sscanf(line.c_str(), "%lf %2s", &e.seconds, direction) != 2) continue;
        e.received = std::string(direction) == "RX";
        const auto from = line.find(direction) + 2;
        const auto to = line.find("   ", from + 1);
        std::istringstream hex(line.substr(from, to == std::string::npos ? to : to - from));
        unsigned byte = 0;
        while (hex >> std::hex >> byte)
            e.bytes += static_cast<char>(byte);
        entries.push_back(e);
    }
    return entries;
}

// True for the counter read of a station, in whichever protocol.
bool IsCounterRead(const std::string& b, int station) {
    if (b.size() >= 6 && b[0] == '#')
        return std::strtol(b.substr(1, 2).c_str(), nullptr, 16) == station &&
               b.compare(3, 3, "RCT") == 0;
    if (b.size() >= 5 && b[0] == ':')
        return std::strtol(b.substr(1, 2).c_str(), nullptr, 16) == station &&
               b.compare(3, 2, "03") == 0;
    return b.size() >= 2 && static_cast<unsigned char>(b[0]) == station && b[1] == 0x03;
}

// Each cycle: from the first station's counter request to the last answer before the next.
// The log stamps a request when its last byte was on the line: the cycle starts that
// request's own time on the line earlier.
std::vector<double> CyclesMs(const std::vector<Entry>& entries, int firstStation, int baud) {
    std::vector<double> cycles;
    double start = -1.0, end = -1.0;  // -1: none yet
    const auto close = [&] {
        if (start >= 0.0 && end > start) cycles.push_back((end - start) * 1000.0);
    };
    for (const Entry& e : entries) {
        if (e.received && IsCounterRead(e.bytes, firstStation)) {
            close();
            start = e.seconds - static_cast<double>(e.bytes.size()) * 10.0 / baud;
            end = -1.0;
        } else if (!e.received && start >= 0.0) {
            end = e.seconds;
        }
    }
    close();
    return cycles;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Run {
    double medianMs = 0.0;
    std::size_t cycles = 0;
    long overlaps = -1;
    long rtuEarly = -1;
    int exitCode = -1;
};

// A headless run of N cycles against a line answering as simStations.
Run MeasureCycles(const Settings& s, const fs::path& dir, Protocol protocol,
                  const std::string& simStations, const std::string& polled, int firstPolled) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    Line line(s, dir, simStations);
    auto args = Headless(s, line, protocol, polled, dir / "log.csv");
    args.insert(args.end(), {"--cycles", std::to_string(s.cycles)});
    Run run;
    run.exitCode = Child(args, (dir / "run.out").string(), (dir / "run.err").string()).wait();
    line.finish();
    if (run.exitCode != 0)
        std::fprintf(stderr, "bench_stations: tallyscope --station %s exited with %d: %s",
                     polled.c_str(), run.exitCode, ReadFile((dir / "run.err").string()).c_str());
    const auto cycles = CyclesMs(ParseLog(line.log()), firstPolled, s.baud);
    run.medianMs = Median(cycles);
    run.cycles = cycles.size();
    run.overlaps = line.count("overlaps");
    run.rtuEarly = line.count("rtu_early");
    return run;
}

struct Proc {
    double cpuSeconds = 0.0;
    long rssKb = 0;
};

Proc Sample(pid_t pid) {
    Proc p;
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto paren = stat.rfind(')');
    if (paren != std::string::npos) {
        std::istringstream fields(stat.substr(paren + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        // Fields 3.. of stat; utime and stime are the 14th and 15th.
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        p.cpuSeconds =
            static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    // The scheduler's own count, in nanoseconds, of every thread: clock ticks (10 ms
    // each) would leave a 60 s figure uncertain by several hundredths of a percent.
    double scheduled = 0.0;
    std::error_code error;
    for (const auto& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::istringstream fields(ReadFile((task.path() / "schedstat").string()));
        double ns = 0.0;
        if (fields >> ns) scheduled += ns / 1e9;
    }
    if (scheduled > 0.0) p.cpuSeconds = scheduled;
    std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) p.rssKb = std::atol(line.c_str() + 6);
    return p;
}

// Polling eight stations for the window: true when the CPU stays within 0.5 % of one core.
bool MeasureCpu(const Settings& s, const fs::path& dir, Protocol protocol) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    Line line(s, dir, "1-8");
    Child run(Headless(s, line, protocol, "1-8", dir / "log.csv"), (dir / "run.out").string(),
              (dir / "run.err").string());
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const Proc first = Sample(run.pid());
    const auto from = Clock::now();
    long maxRss = first.rssKb;
    const auto until = from + std::chrono::seconds(s.seconds);
    // Memory every tenth of the run, at least every minute.
    const auto step = std::chrono::seconds(std::clamp(s.seconds / 10, 1, 60));
    Proc last = first;
    while (Clock::now() < until) {
        std::this_thread::sleep_for(std::min<Clock::duration>(step, until - Clock::now()));
        last = Sample(run.pid());
        maxRss = std::max(maxRss, last.rssKb);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - from).count();
    if (first.rssKb == 0 || last.rssKb == 0) {
        std::fprintf(stderr, "bench_stations: tallyscope was not running: %s",
                     ReadFile((dir / "run.err").string()).c_str());
        return false;
    }
    run.stop();
    line.finish();
    const double cpuPercent = 100.0 * (last.cpuSeconds - first.cpuSeconds) / wall;
    std::printf("| %s | %d | %.0f s | %.2f %% | %ld | %ld | %ld | %ld | %ld |\n",
                tally::ProtocolCaption(protocol).c_str(), s.baud, wall, cpuPercent, first.rssKb,
                last.rssKb, maxRss, line.count("overlaps"), line.count("rtu_early"));
    std::fflush(stdout);
    return cpuPercent <= 0.5;
}

std::int64_t CounterDeadlineUs(Protocol protocol, int station, int baud) {
    const auto frame =
        tally::BuildFrame(protocol, tally::StationHexOf(station), tally::ReadCountersRequest());
    return frame ? tally::ReplyTimeoutMicros(protocol, *frame, baud) : 0;
}

bool Parse(int argc, char** argv, Settings& s) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--tallyscope") {
            s.tallyscope = value;
        } else if (name == "--sim") {
            s.sim = value;
        } else if (name == "--baud") {
            s.baud = std::atoi(value.c_str());
        } else if (name == "--cycles") {
            s.cycles = std::max(0, std::atoi(value.c_str()));
        } else if (name == "--chunk") {
            s.chunkMs = std::atoi(value.c_str());
        } else if (name == "--seconds") {
            s.seconds = std::max(0, std::atoi(value.c_str()));
        } else if (name == "--protocols") {
            s.protocols.clear();
            for (const Protocol p : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
                if (value.find(CliName(p)) != std::string::npos) s.protocols.push_back(p);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !s.protocols.empty();
}

// The cycle table: one row a protocol; true when every run worked and met its target.
bool MeasureAllCycles(const Settings& s, const fs::path& work) {
    std::printf(
        "Eight stations (1-8), DC+DI+DO, %d baud, %d cycles a run, every 1 s, simulator "
        "--chunk %d; cycle = median, ms, on the simulator's log\n\n",
        s.baud, s.cycles, s.chunkMs);
    std::printf(
        "| Protocol | 8 stations | Sum of 8 single | Ratio | 3 and 6 silent | Growth | "
        "Two deadlines | Overlaps | RTU early |\n|---|---|---|---|---|---|---|---|---|\n");
    std::fflush(stdout);
    bool ok = true;
    for (const Protocol protocol : s.protocols) {
        const Run all = MeasureCycles(s, work / "all", protocol, "1-8", "1-8", 1);
        double sum = 0.0;
        long overlaps = all.overlaps, early = all.rtuEarly;
        for (int k = 1; k <= 8; ++k) {
            const Run one = MeasureCycles(s, work / "one", protocol, "1-8", std::to_string(k), k);
            sum += one.medianMs;
            overlaps += one.overlaps;
            early += one.rtuEarly;
            ok = ok && one.exitCode == 0 && one.cycles > 0;
        }
        const Run silent = MeasureCycles(s, work / "silent", protocol, "1,2,4,5,7,8", "1-8", 1);
        const double deadlines =
            (CounterDeadlineUs(protocol, 3, s.baud) + CounterDeadlineUs(protocol, 6, s.baud)) /
            1000.0;
        const double ratio = sum > 0 ? all.medianMs / sum : 0.0;
        const double growth = silent.medianMs - all.medianMs;
        ok = ok && all.exitCode == 0 && silent.exitCode == 0 && all.cycles > 0 &&
             silent.cycles > 0 && ratio <= 1.1 && growth <= deadlines;
        std::printf("| %s | %.1f | %.1f | %.3f | %.1f | %.1f | %.1f | %ld | %ld |\n",
                    tally::ProtocolCaption(protocol).c_str(), all.medianMs, sum, ratio,
                    silent.medianMs, growth, deadlines, overlaps + silent.overlaps,
                    early + silent.rtuEarly);
        std::fflush(stdout);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    if (!Parse(argc, argv, s)) {
        std::fprintf(stderr,
                     "usage: bench_stations [--tallyscope PATH] [--sim PATH] [--baud B] "
                     "[--cycles N (0: none)] [--seconds S (0: no CPU run)] [--chunk MS] "
                     "[--protocols korvi,ascii,rtu]\n");
        return 2;
    }
    const fs::path work =
        fs::temp_directory_path() / ("bench-stations-" + std::to_string(getpid()));
    bool ok = true;
    if (s.cycles > 0) ok = MeasureAllCycles(s, work);
    if (s.seconds > 0) {
        std::printf(
            "\nPolling stations 1-8 every second: CPU after 5 s of settling, resident memory "
            "(kB) at the start and end of the window and its peak; simulator --chunk %d\n\n",
            s.chunkMs);
        std::printf(
            "| Protocol | Baud | Window | CPU (one core) | RSS start | RSS end | RSS peak | "
            "Overlaps | RTU early |\n|---|---|---|---|---|---|---|---|---|\n");
        for (const Protocol protocol : s.protocols)
            ok = MeasureCpu(s, work / "cpu", protocol) && ok;
    }
    fs::remove_all(work);
    if (!ok) std::printf("\nA run failed or a target was missed (see above).\n");
    return ok ? 0 : 1;
}
