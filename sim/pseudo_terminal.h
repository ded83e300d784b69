// The pseudo-terminal the simulated module sits on, and its COM<N> link.
#pragma once

#include <string>

namespace tally::sim {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens the master, keeps the slave open and raw. Empty string on success,
    // otherwise what went wrong.
    std::string open();
    // Makes linkPath a symbolic link to the slave; an existing symbolic link is
    // replaced, any other file is left alone and reported.
    std::string link(const std::string& linkPath);
    // Removes the link if it still points to this pseudo-terminal.
    void unlink();

    int masterFd() const { return master; }
    const std::string& devicePath() const { return device; }
    const std::string& linkPath() const { return linked; }

  private:
    int master = -1;
    int slave = -1;
    std::string device;
    std::string linked;
};

}  // namespace tally::sim
