#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tally::sim {

PseudoTerminal::~PseudoTerminal() {
    unlink();
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
}

std::string PseudoTerminal::open() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) return std::string("posix_openpt: ") + std::strerror(errno);
    if (grantpt(master) != 0 || unlockpt(master) != 0)
        return std::string("grantpt/unlockpt: ") + std::strerror(errno);
    const char* name = ptsname(master);
    if (name == nullptr) return std::string("ptsname: ") + std::strerror(errno);
    device = name;
    // Held open by us so the master never reads EIO when the program closes the port.
    slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) return "open " + device + ": " + std::strerror(errno);
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    return {};
}

std::string PseudoTerminal::link(const std::string& linkPath) {
    struct stat info {};
    if (lstat(linkPath.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode))
            return linkPath + " exists and is not a symbolic link; not replacing it";
        // Most likely left behind by a simulator that was killed.
        if (::unlink(linkPath.c_str()) != 0)
            return "cannot remove old link " + linkPath + ": " + std::strerror(errno);
    }
    if (symlink(device.c_str(), linkPath.c_str()) != 0)
        return "cannot create link " + linkPath + ": " + std::strerror(errno);
    linked = linkPath;
    return {};
}

void PseudoTerminal::unlink() {
    if (linked.empty()) return;
    char target[PATH_MAX];
    const ssize_t length = readlink(linked.c_str(), target, sizeof target - 1);
    // Another simulator may have taken the name over since; its link stays.
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == device)
        ::unlink(linked.c_str());
    linked.clear();
}

}  // namespace tally::sim
