#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/sim_client.h"

#include <cstdlib>
#include <stdexcept>

namespace ra03v::test {

SimClient::SimClient() {
  const char* port = std::getenv("RA03V_SIM_CONTROL");
  if (!port) return;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    closesocket(s);
    return;
  }
  socket_ = static_cast<uintptr_t>(s);
}

SimClient::~SimClient() {
  if (Connected()) closesocket(static_cast<SOCKET>(socket_));
  WSACleanup();
}

std::string SimClient::Command(const std::string& line) {
  if (!Connected()) throw std::runtime_error("no simulator");
  const std::string out = line + "\n";
  if (send(static_cast<SOCKET>(socket_), out.data(), static_cast<int>(out.size()), 0) !=
      static_cast<int>(out.size()))
    throw std::runtime_error("simulator: send failed");
  size_t eol;
  while ((eol = pending_.find('\n')) == std::string::npos) {
    char buf[4096];
    const int n = recv(static_cast<SOCKET>(socket_), buf, sizeof buf, 0);
    if (n <= 0) throw std::runtime_error("simulator: connection lost");
    pending_.append(buf, static_cast<size_t>(n));
  }
  std::string reply = pending_.substr(0, eol);
  pending_.erase(0, eol + 1);
  if (reply.rfind("OK", 0) != 0) throw std::runtime_error("simulator: " + line + ": " + reply);
  return reply.size() > 3 ? reply.substr(3) : std::string();
}

std::string SettingOf(const std::string& settings, const std::string& key) {
  const std::string needle = key + "=";
  size_t pos = 0;
  while ((pos = settings.find(needle, pos)) != std::string::npos) {
    if (pos == 0 || settings[pos - 1] == ' ') {
      const size_t end = settings.find(' ', pos);
      return settings.substr(pos + needle.size(), end == std::string::npos
                                                      ? std::string::npos
                                                      : end - pos - needle.size());
    }
    ++pos;
  }
  return {};
}

}  // namespace ra03v::test
