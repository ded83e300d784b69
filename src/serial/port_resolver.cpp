#include "serial/port_resolver.h"

#include <algorithm>
#include <fstream>
#include <string_view>
#include <system_error>

namespace tally {

namespace fs = std::filesystem;

namespace {

// "ttyUSB12" with prefix "ttyUSB" gives 12; anything else -1.
long DeviceIndex(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stol(digits);
}

// The 8250 driver creates ttyS0-31 whether or not a UART answers; those report
// type 0 (PORT_UNKNOWN) and every open of them fails.
bool HasUartBehind(const PortEnvironment& env, const std::string& name) {
    std::ifstream typeFile(env.sysTtyDir / name / "type");
    long type = 0;
    if (!(typeFile >> type)) return false;
    return type != 0;
}

// Present means the name leads to something, even if we may not open it.
bool Exists(const fs::path& path) {
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    return exists || ec == std::errc::permission_denied;
}

std::string Ordinal(int n) {
    const int lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        switch (n % 10) {
            case 1:
                suffix = "st";
                break;
            case 2:
                suffix = "nd";
                break;
            case 3:
                suffix = "rd";
                break;
            default:
                break;
        }
    }
    return std::to_string(n) + suffix;
}

// COM<n> in `folder`, followed to its target when it is a link.
bool ResolveFromFolder(int n, const fs::path& folder, const char* where, ResolvedPort& out) {
    if (folder.empty()) return false;
    const std::string name = "COM" + std::to_string(n);
    const fs::path entry = folder / name;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(entry, ec);
    if (ec || !fs::exists(status)) return false;

    fs::path device = entry;
    if (fs::is_symlink(status)) {
        const fs::path canonical = fs::canonical(entry, ec);
        if (!ec) {
            device = canonical;
        } else {
            // Dangling: still the operator's choice, so the open fails on its target
            // instead of silently talking to another device.
            const fs::path target = fs::read_symlink(entry, ec);
            if (!ec) device = target.is_absolute() ? target : (folder / target).lexically_normal();
        }
    }
    out.device = device.string();
    out.present = Exists(entry);
    out.description = name + " \u2192 " + out.device + " (link in the " + where + " folder" +
                      (out.present ? ")" : "; the device is missing)");
    return true;
}

}  // namespace

std::vector<std::string> SystemSerialDevices(const PortEnvironment& env) {
    struct Found {
        int group;
        long index;
        std::string path;
    };
    static const char* const kGroups[] = {"ttyUSB", "ttyACM", "ttyS"};
    std::vector<Found> found;
    std::error_code ec;
    for (fs::directory_iterator it(env.devDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (int group = 0; group < 3; ++group) {
            const long index = DeviceIndex(name, kGroups[group]);
            if (index < 0) continue;
            if (group == 2 && !HasUartBehind(env, name)) break;
            if (!Exists(it->path())) break;
            found.push_back({group, index, it->path().string()});
            break;
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.group != b.group ? a.group < b.group : a.index < b.index;
    });
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (const Found& f : found)
        paths.push_back(f.path);
    return paths;
}

ResolvedPort ResolvePortDetails(int n, const PortEnvironment& env) {
    return ResolvePortDetails(n, env, SystemSerialDevices(env));
}

ResolvedPort ResolvePortDetails(int n, const PortEnvironment& env,
                                const std::vector<std::string>& systemDevices) {
    ResolvedPort out;
    out.description = "no device for port " + std::to_string(n);
    if (n < kFirstPortNumber || n > kLastPortNumber) return out;
    if (ResolveFromFolder(n, env.appDir, "program", out)) return out;
    if (ResolveFromFolder(n, env.configDir, "configuration", out)) return out;
    if (static_cast<std::size_t>(n) > systemDevices.size()) return out;
    out.device = systemDevices[n - 1];
    out.present = true;
    out.description = out.device + " (" + Ordinal(n) + " serial device)";
    return out;
}

std::string ResolvePort(int n, const PortEnvironment& env) {
    return ResolvePortDetails(n, env).device;
}

std::string DeviceForPath(const std::string& path) {
    if (path.find('/') == std::string::npos) return "/dev/" + path;
    if (path.front() == '/') return path;
    // Leading "./" only: ".." is left to the system, which follows links in the working folder.
    std::string_view relative = path;
    while (relative.substr(0, 2) == "./") {
        const std::size_t next = relative.find_first_not_of('/', 1);
        if (next == std::string_view::npos) break;
        relative.remove_prefix(next);
    }
    std::error_code ec;
    const fs::path folder = fs::current_path(ec);
    return ec ? path : (folder / relative).string();
}

}  // namespace tally
