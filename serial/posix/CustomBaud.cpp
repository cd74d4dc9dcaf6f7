// Any bit rate through termios2 and BOTHER. Kept apart because <asm/termbits.h> cannot
// share a translation unit with <termios.h>.
#include "CustomBaud.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...);

int SetCustomBaudRate(int fd, int rate)
{
    if (rate <= 0)
        return EINVAL;
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) < 0)
        return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(rate);
    t.c_ospeed = static_cast<speed_t>(rate);
    if (ioctl(fd, TCSETS2, &t) < 0)
        return errno;
    return 0;
}

int GetBaudRate(int fd, int& rate)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) < 0)
        return errno;
    rate = static_cast<int>(t.c_ospeed);
    return 0;
}
