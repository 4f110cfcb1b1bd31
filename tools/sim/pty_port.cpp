#include "pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "line_settings.h"

namespace sim {

PtyPort::PtyPort(const std::string& prefix, int number) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("cannot create a pseudo-terminal");
  slavePath_ = ptsname(master_);
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave_ < 0) throw std::runtime_error("cannot open " + slavePath_);
  // Raw from the start: a fresh terminal would echo our own replies back to us.
  MakeRaw(slave_);
  link_ = prefix + "/dosdevices/com" + std::to_string(number);
  unlink(link_.c_str());
  if (symlink(slavePath_.c_str(), link_.c_str()) != 0)
    throw std::runtime_error("cannot create link " + link_);
}

PtyPort::~PtyPort() {
  if (!link_.empty()) unlink(link_.c_str());
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

bool PtyPort::Write(const std::string& bytes) const {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, writePatienceMs_) <= 0) return false;
    } else if (n < 0 && errno != EINTR) {
      return false;
    }
  }
  return true;
}

}  // namespace sim
