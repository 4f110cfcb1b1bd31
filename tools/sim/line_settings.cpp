// Uses the kernel's termios2 directly: it carries any baud rate, also those
// without a Bxxx constant, which is how Wine sets custom rates.
#include "line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdio>

namespace sim {

bool MakeRaw(int fd) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | CBAUD);
  t.c_cflag |= CS8 | BOTHER;
  t.c_ispeed = t.c_ospeed = 9600;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

std::string DescribeLineSettings(int fd, const std::string& stateFile) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return {};
  unsigned baud = t.c_ospeed;
  if (FILE* f = std::fopen(stateFile.c_str(), "r")) {
    unsigned framing = 0;
    int custom = 0, divisor = 0;
    if (std::fscanf(f, "framing=%u spd_cust=%d divisor=%d", &framing, &custom, &divisor) == 3) {
      t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR)) | framing;
      // The classic custom-rate request: 38400 selects base / divisor.
      if (custom && divisor > 0 && baud == 38400) baud = 115200 / static_cast<unsigned>(divisor);
    }
    std::fclose(f);
  }
  int data = 8;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      data = 5;
      break;
    case CS6:
      data = 6;
      break;
    case CS7:
      data = 7;
      break;
    default:
      break;
  }
  const char* parity = "none";
  if (t.c_cflag & PARENB) {
    const bool odd = (t.c_cflag & PARODD) != 0;
    if (t.c_cflag & CMSPAR)
      parity = odd ? "mark" : "space";
    else
      parity = odd ? "odd" : "even";
  }
  return "baud=" + std::to_string(baud) + " data=" + std::to_string(data) + " parity=" + parity +
         " stop=" + ((t.c_cflag & CSTOPB) ? "2" : "1") +
         " ixon=" + ((t.c_iflag & IXON) ? "1" : "0") +
         " ixoff=" + ((t.c_iflag & IXOFF) ? "1" : "0");
}

}  // namespace sim
