#pragma once
/// Any baud rate (14400 has no classic B-constant) through the kernel's termios2
/// interface. Kept apart because its header clashes with <termios.h>.

#include <cstdint>

namespace zefirel {

/// Sets the input and output speed of an open tty; returns 0 or the errno.
int setLineBaud(int fd, uint32_t baud);
/// Reads the output speed of an open tty into baud; returns 0 or the errno.
int getLineBaud(int fd, uint32_t& baud);

} // namespace zefirel
