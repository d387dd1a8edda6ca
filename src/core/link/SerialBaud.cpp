#include "link/SerialBaud.h"

#include <cerrno>
#include <sys/ioctl.h>
// Must not meet <termios.h> in the same unit: both define struct termios.
#include <asm/termbits.h>

namespace zefirel {

int setLineBaud(int fd, uint32_t baud) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        return errno;
    return 0;
}

int getLineBaud(int fd, uint32_t& baud) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    baud = tio.c_ospeed;
    return 0;
}

} // namespace zefirel
