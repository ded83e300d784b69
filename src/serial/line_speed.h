// The speed of a terminal line as a number, custom rates (14400, 28800) included.
// No Qt: the simulator reads the speed the program set on its pseudo-terminal.
#pragma once

namespace tally {

// Sets both directions to `baud`; false when the line refuses it.
bool SetLineSpeed(int fd, int baud);

// The output speed; on Linux the master side of a pseudo-terminal reports the
// termios of its slave, where the program set its line speed. 0 when unknown.
int LineSpeed(int fd);

}  // namespace tally
