#pragma once
// The test side of the simulated reader's control socket (tools/sim): the
// simulator runs natively beside Wine; tools/run-with-sim.sh passes its
// control port in RA03V_SIM_CONTROL.
#include <cstdint>
#include <string>

namespace ra03v::test {

class SimClient {
 public:
  // Connects to the simulator; Connected() is false when none runs.
  SimClient();
  ~SimClient();
  SimClient(const SimClient&) = delete;
  SimClient& operator=(const SimClient&) = delete;

  bool Connected() const noexcept { return socket_ != kNoSocket; }
  // Sends one command; returns the reply after "OK" (trimmed), throws on "ERR".
  std::string Command(const std::string& line);

  // Creates virtual port COM<number>, replacing one of that number.
  void CreatePort(int number) { Command("create " + std::to_string(number)); }
  // The line settings on the simulator's side, e.g. "baud=9600 data=8 parity=none stop=1 ...".
  std::string Settings(int number) { return Command("settings " + std::to_string(number)); }
  // Bytes to the driver; text may use \r \n \xHH escapes.
  void Send(int number, const std::string& text) {
    Command("send " + std::to_string(number) + " " + text);
  }
  // Bytes the driver wrote since the last call, escaped.
  std::string Received(int number) { return Command("received " + std::to_string(number)); }

 private:
  // A Winsock SOCKET; kept as a number so that users need not include winsock2.h.
  static constexpr uintptr_t kNoSocket = ~uintptr_t{0};
  uintptr_t socket_ = kNoSocket;
  std::string pending_;
};

// The value of key in a "key=value key=value" text ("" when absent).
std::string SettingOf(const std::string& settings, const std::string& key);

}  // namespace ra03v::test
