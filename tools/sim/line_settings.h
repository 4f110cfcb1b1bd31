#pragma once
// The line settings a serial port's driver left on a pseudo-terminal.
#include <string>

namespace sim {

// Puts the terminal into raw mode (no echo, no line editing, 8 bits, 9600).
bool MakeRaw(int fd);

// "baud=9600 data=8 parity=none stop=1 ixon=0 ixoff=0" as the terminal is set
// now; empty on failure. stateFile, when it exists, holds what the modem-line
// library recorded for the framing and custom rate that a pseudo-terminal
// cannot keep itself.
std::string DescribeLineSettings(int fd, const std::string& stateFile);

}  // namespace sim
