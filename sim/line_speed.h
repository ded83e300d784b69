// The speed the master set on the pseudo-terminal.
#pragma once

namespace tally::sim {

// On Linux the master side of a pseudo-terminal reports the termios of its
// slave, which is where the program set its line speed. 0 when unknown.
int LineSpeed(int masterFd);

}  // namespace tally::sim
