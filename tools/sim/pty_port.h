#pragma once
// One virtual serial port: a pseudo-terminal whose far end Wine opens as COMn
// through a link in the prefix's dosdevices folder.
#include <string>

namespace sim {

class PtyPort {
 public:
  // Creates the terminal and the link <prefix>/dosdevices/com<number>; throws on failure.
  PtyPort(const std::string& prefix, int number);
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  int Master() const { return master_; }
  int Slave() const { return slave_; }
  const std::string& SlavePath() const { return slavePath_; }
  // Writes all bytes to the port's far end; false when the terminal refuses,
  // or stays full longer than the write patience.
  bool Write(const std::string& bytes) const;
  // A real line never waits for its reader; a pty does, and a reader that
  // drains slowly (an old build under measure) needs more than the default.
  void SetWritePatience(int milliseconds) { writePatienceMs_ = milliseconds; }

 private:
  int master_ = -1;
  // Held open so that the master never reads EIO while Wine has the port closed.
  int slave_ = -1;
  int writePatienceMs_ = 1000;
  std::string slavePath_;
  std::string link_;
};

}  // namespace sim
