// vl4300-sim: VL4300 modules on a pseudo-terminal, one or several stations on one line.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "serial/line_speed.h"
#include "serial/user_config_folder.h"
#include "sim/link_folder.h"
#include "sim/pseudo_terminal.h"
#include "sim/sim_options.h"
#include "sim/simulator_core.h"

namespace {

using namespace tally::sim;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

std::int64_t MonotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

std::string ExecutableFolder() {
    std::vector<char> path(4096);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) return ".";
    std::string exe(path.data(), static_cast<std::size_t>(length));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash == 0 ? 1 : slash);
}

// "station 1", or "stations 1,2,5,6,7" on a line of several.
std::string StationsText(const std::vector<int>& stations) {
    std::string text = stations.size() == 1 ? "station " : "stations ";
    for (std::size_t i = 0; i < stations.size(); ++i)
        text += (i > 0 ? "," : "") + std::to_string(stations[i]);
    return text;
}

void WriteLog(std::FILE* file, const std::vector<LogEntry>& entries) {
    if (file == nullptr) return;
    for (const auto& entry : entries) {
        std::fprintf(file, "%11.6f %s ", static_cast<double>(entry.timeUs) / 1e6,
                     entry.sent ? "TX" : "RX");
        for (unsigned char byte : entry.bytes)
            std::fprintf(file, " %02X", byte);
        std::fprintf(file, "   %s\n", entry.note.c_str());
    }
    std::fflush(file);
}

// Written whole and renamed into place, so a reader never sees half a file.
void WriteStats(const std::string& path, const std::string& json) {
    if (path.empty()) return;
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return;
    std::fputs(json.c_str(), file);
    if (std::fclose(file) == 0) std::rename(temporary.c_str(), path.c_str());
}

// Non-blocking: with nobody on the other end the buffer fills and the rest is
// lost, as on a line with nothing attached.
void WriteLine(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

int Run(const SimOptions& options) {
    PseudoTerminal pty;
    if (auto error = pty.open(); !error.empty()) {
        std::fprintf(stderr, "vl4300-sim: %s\n", error.c_str());
        return 1;
    }
    std::string dir = options.dir;
    if (dir.empty()) {
        const std::string exeFolder = ExecutableFolder();
        dir = DefaultLinkFolder(exeFolder, access(exeFolder.c_str(), W_OK | X_OK) == 0,
                                tally::UserConfigFolder().string());
        // The configuration folder may not exist yet; a failure shows in the link's error.
        std::error_code ignored;
        std::filesystem::create_directories(dir, ignored);
    }
    const std::string linkPath = dir + "/COM" + std::to_string(options.port);
    if (auto error = pty.link(linkPath); !error.empty()) {
        std::fprintf(stderr, "vl4300-sim: %s\n", error.c_str());
        return 1;
    }
    std::FILE* logFile = nullptr;
    if (!options.logFile.empty()) {
        logFile = std::fopen(options.logFile.c_str(), "w");
        if (logFile == nullptr) {
            std::fprintf(stderr, "vl4300-sim: cannot write %s\n", options.logFile.c_str());
            return 1;
        }
    }

    std::printf("%s\n", pty.devicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "vl4300-sim: %s on %s, linked as %s\n",
                 StationsText(options.stations).c_str(), pty.devicePath().c_str(),
                 linkPath.c_str());

    // The signals are let through only inside ppoll, so none is missed between checks.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SimulatorCore core(options);
    const std::int64_t startUs = MonotonicUs();
    const auto now = [startUs] { return MonotonicUs() - startUs; };
    WriteStats(options.statsFile, core.statsJson());

    while (stopRequested == 0) {
        pollfd fd{pty.masterFd(), POLLIN, 0};
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (const auto wake = core.nextWakeUs()) {
            const std::int64_t waitUs = std::max<std::int64_t>(0, *wake - now());
            timeout.tv_sec = static_cast<time_t>(waitUs / 1'000'000);
            timeout.tv_nsec = static_cast<long>(waitUs % 1'000'000) * 1000;
            timeoutPtr = &timeout;
        }
        const int ready = ppoll(&fd, 1, timeoutPtr, &waitMask);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && (fd.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = read(pty.masterFd(), buffer, sizeof buffer);
            if (n > 0)
                core.receive(now(), std::string(buffer, static_cast<std::size_t>(n)),
                             tally::LineSpeed(pty.masterFd()));
        } else if (ready > 0 && (fd.revents & (POLLHUP | POLLERR))) {
            // Nobody holds the slave for a moment; do not spin on it.
            usleep(1000);
        }
        const std::string out = core.advance(now());
        // State first, so whoever reads the answer finds the stats already up to date.
        if (core.takeChanged()) WriteStats(options.statsFile, core.statsJson());
        WriteLine(pty.masterFd(), out);
        WriteLog(logFile, core.takeLog());
    }

    pty.unlink();
    WriteLog(logFile, core.takeLog());
    if (logFile != nullptr) std::fclose(logFile);
    WriteStats(options.statsFile, core.statsJson());
    std::printf("%s", core.summary().c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "vl4300-sim: %s\nTry 'vl4300-sim --help'.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::printf("%s", HelpText().c_str());
        return 0;
    }
    return Run(parsed.options);
}
