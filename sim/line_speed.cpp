// termios2 gives any speed as a number, custom ones included; it cannot share a
// file with <termios.h>, whose struct of the same name differs.
#include "sim/line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tally::sim {

int LineSpeed(int masterFd) {
    struct termios2 tio {};
    if (ioctl(masterFd, TCGETS2, &tio) != 0) return 0;
    return static_cast<int>(tio.c_ospeed);
}

}  // namespace tally::sim
