// The simulated RA-03V reader: owns the far end of virtual serial ports and
// answers the reader's commands "n", "k" and "f" with CR LF lines. Tests and
// the demo steer it through a text control socket on 127.0.0.1 (see README.md).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "control.h"
#include "line_settings.h"
#include "pty_port.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_stop = 0;

struct Card {
  std::string code;
  int times = 1;
  Clock::time_point from;
};

struct Delayed {
  enum Kind { kBytes, kVanish, kPlug };
  Clock::time_point at;
  int port;
  std::string bytes;
  Kind kind = kBytes;
};

struct Reader {
  // None while the cable is pulled ("unplug"): the reader keeps its state.
  std::unique_ptr<PtyPort> pty;
  bool echo = false;
  // A silent reader takes the driver's bytes and answers nothing.
  bool silent = false;
  std::string received;  // bytes from the driver not yet fetched by "received"
  std::deque<Card> cards;
  int commandsN = 0, commandsK = 0, commandsF = 0;
  // Card lines answered so far, and when the last byte of the latest one left
  // (CLOCK_REALTIME, ns since the Unix epoch): Wine's precise system time reads
  // the same clock, so a Windows program can time a line to its event.
  int cardLines = 0;
  long long lastCardNs = 0;
  // A flood still being written, one line per entry; the front one may be
  // partly written (outOffset bytes). Answers go in after the front line, so
  // they never split a flood line.
  std::deque<std::string> outbox;
  size_t outOffset = 0;
  // Answers to commands go out this long after the command came (0: at once),
  // as a reader still busy sending a line answers only after it.
  int answerDelayMs = 0;
  int number = 0;
};

long long RealTimeNs() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

class Simulator {
 public:
  Simulator(std::string prefix, std::string lineStateDir)
      : prefix_(std::move(prefix)), lineStateDir_(std::move(lineStateDir)) {}

  // Runs one control command; the reply is one line without terminator.
  std::string Run(const std::string& line) {
    try {
      return Dispatch(SplitWords(line), line);
    } catch (const std::exception& e) {
      return std::string("ERR ") + e.what();
    }
  }

  void OnPortReadable(int number) {
    Reader& r = readers_.at(number);
    if (!r.pty) return;
    char buf[4096];
    for (;;) {
      const ssize_t n = read(r.pty->Master(), buf, sizeof buf);
      if (n <= 0) break;
      const std::string bytes(buf, static_cast<size_t>(n));
      r.received += bytes;
      if (r.echo) {
        if (!r.silent) r.pty->Write(bytes);
        continue;
      }
      for (char c : bytes) Answer(r, c);
    }
  }

  // Sends what is due; returns the poll timeout until the next due item.
  int RunDue() {
    const auto now = Clock::now();
    for (auto it = delayed_.begin(); it != delayed_.end();) {
      if (it->at > now) {
        ++it;
        continue;
      }
      const Delayed d = *it;
      it = delayed_.erase(it);
      if (!readers_.count(d.port)) continue;
      Reader& r = readers_.at(d.port);
      if (d.kind == Delayed::kVanish) {
        readers_.erase(d.port);
      } else if (d.kind == Delayed::kPlug) {
        Plug(d.port, r);
      } else if (r.pty) {
        r.pty->Write(d.bytes);
      }
    }
    int timeout = -1;
    for (const Delayed& d : delayed_) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d.at - now).count() + 1;
      if (timeout < 0 || ms < timeout) timeout = static_cast<int>(ms);
    }
    return timeout;
  }

  std::map<int, Reader>& Readers() { return readers_; }
  void DrainPort(int number) { Drain(readers_.at(number)); }

 private:
  // The cable put back: a new terminal under the same COM name, the reader
  // as it was (its cards, its counts). Nothing of the old line survives.
  void Plug(int number, Reader& r) {
    if (r.pty) return;
    r.pty = std::make_unique<PtyPort>(prefix_, number);
    std::remove(StateFile(r).c_str());
    r.outbox.clear();
    r.outOffset = 0;
  }

  // The reader's terminal, for commands that need the cable in.
  static PtyPort& Line(Reader& r) {
    if (!r.pty) throw std::runtime_error("unplugged");
    return *r.pty;
  }

  // Writes what the terminal takes now from the flood; false when it is done.
  bool Drain(Reader& r) {
    if (!r.pty) return false;
    while (!r.outbox.empty()) {
      const std::string& line = r.outbox.front();
      const ssize_t n = write(r.pty->Master(), line.data() + r.outOffset, line.size() - r.outOffset);
      if (n <= 0) return true;  // full (EAGAIN) or failing: poll says when to go on
      r.outOffset += static_cast<size_t>(n);
      if (r.outOffset == line.size()) {
        r.outbox.pop_front();
        r.outOffset = 0;
      }
    }
    return false;
  }

  // An answer: straight out, or after the flood line being written, or later
  // when answers are delayed.
  bool Emit(Reader& r, const std::string& bytes) {
    if (!r.pty) return false;
    if (r.answerDelayMs > 0) {
      delayed_.push_back(
          {Clock::now() + std::chrono::milliseconds(r.answerDelayMs), r.number, bytes});
      return true;
    }
    if (r.outbox.empty()) return r.pty->Write(bytes);
    r.outbox.insert(r.outbox.begin() + 1, bytes);
    return true;
  }

  void Answer(Reader& r, char c) {
    if (c == 'n') {
      ++r.commandsN;
      if (!r.silent) Emit(r, "OK\r\n");
    } else if (c == 'f') {
      ++r.commandsF;
      if (!r.silent) Emit(r, "OK\r\n");
    } else if (c == 'k') {
      ++r.commandsK;
      if (r.silent) return;
      std::string reply = "OK\r\n";
      bool withCard = false;
      if (!r.cards.empty() && r.cards.front().from <= Clock::now()) {
        Card& card = r.cards.front();
        reply += card.code + "\r\n";
        withCard = true;
        if (--card.times <= 0) r.cards.pop_front();
      }
      if (Emit(r, reply) && withCard) {
        r.lastCardNs = RealTimeNs();
        ++r.cardLines;
      }
    }
  }

  Reader& At(const std::vector<std::string>& w) {
    if (w.size() < 2) throw std::runtime_error("port number missing");
    auto it = readers_.find(std::stoi(w[1]));
    if (it == readers_.end()) throw std::runtime_error("no such port");
    return it->second;
  }

  static std::string Rest(const std::string& line, size_t words) {
    // The text after the first `words` words, as written (may hold spaces).
    size_t pos = 0;
    for (size_t i = 0; i < words; ++i) {
      pos = line.find_first_not_of(" \t", pos);
      pos = line.find_first_of(" \t", pos);
      if (pos == std::string::npos) return {};
    }
    pos = line.find_first_not_of(" \t", pos);
    return pos == std::string::npos ? std::string() : line.substr(pos);
  }

  std::string Dispatch(const std::vector<std::string>& w, const std::string& line) {
    if (w.empty()) return "ERR empty command";
    const std::string& cmd = w[0];
    const auto now = Clock::now();
    auto ms = [](const std::string& s) { return std::chrono::milliseconds(std::stoi(s)); };
    if (cmd == "ping") return "OK";
    if (cmd == "create") {
      const int n = std::stoi(w.at(1));
      readers_.erase(n);
      Reader r;
      r.number = n;
      r.pty = std::make_unique<PtyPort>(prefix_, n);
      const std::string path = r.pty->SlavePath();
      std::remove(StateFile(r).c_str());  // left by an earlier terminal of that number
      readers_.emplace(n, std::move(r));
      return "OK " + path;
    }
    if (cmd == "vanish") {
      At(w);
      readers_.erase(std::stoi(w[1]));
      return "OK";
    }
    if (cmd == "unplug") {
      // unplug <port> [back_ms]: the cable pulled; put back after back_ms, if given.
      Reader& r = At(w);
      r.pty.reset();
      if (w.size() > 2)
        delayed_.push_back({now + ms(w[2]), std::stoi(w[1]), {}, Delayed::kPlug});
      return "OK";
    }
    if (cmd == "plug") {
      Reader& r = At(w);
      Plug(std::stoi(w[1]), r);
      return "OK " + r.pty->SlavePath();
    }
    if (cmd == "silent") {
      At(w).silent = true;
      return "OK";
    }
    if (cmd == "speak") {
      At(w).silent = false;
      return "OK";
    }
    if (cmd == "settings") {
      Reader& r = At(w);
      const std::string s = DescribeLineSettings(Line(r).Slave(), StateFile(r));
      return s.empty() ? "ERR cannot read the line settings" : "OK " + s;
    }
    if (cmd == "send") {
      return Line(At(w)).Write(Unescape(Rest(line, 2))) ? "OK" : "ERR write failed";
    }
    if (cmd == "echo") {
      At(w).echo = w.at(2) == "on";
      return "OK";
    }
    if (cmd == "card") {
      Card c{w.at(2), w.size() > 3 ? std::stoi(w[3]) : 1,
             now + (w.size() > 4 ? ms(w[4]) : std::chrono::milliseconds(0))};
      At(w).cards.push_back(c);
      return "OK";
    }
    if (cmd == "answerdelay") {
      At(w).answerDelayMs = std::stoi(w.at(2));
      return "OK";
    }
    if (cmd == "patience") {
      Line(At(w)).SetWritePatience(std::stoi(w.at(2)));
      return "OK";
    }
    if (cmd == "garbage") {
      std::uniform_int_distribution<int> byte(0, 255);
      std::string bytes;
      for (int i = std::stoi(w.at(2)); i > 0; --i) {
        char c = static_cast<char>(byte(random_));
        if (c == '\r' || c == '\n') c = '?';
        bytes += c;
      }
      return Line(At(w)).Write(bytes) ? "OK" : "ERR write failed";
    }
    if (cmd == "half") {
      const std::string text = w.at(2) + "\r\n";
      const size_t cut = text.size() / 2;
      Line(At(w)).Write(text.substr(0, cut));
      delayed_.push_back({now + (w.size() > 3 ? ms(w[3]) : std::chrono::milliseconds(200)),
                          std::stoi(w[1]), text.substr(cut)});
      return "OK";
    }
    if (cmd == "noterm") return Line(At(w)).Write(w.at(2)) ? "OK" : "ERR write failed";
    if (cmd == "burst") {
      std::string bytes;
      for (int i = std::stoi(w.at(2)); i > 0; --i) bytes += w.at(3) + "\r\n";
      return Line(At(w)).Write(bytes) ? "OK" : "ERR write failed";
    }
    if (cmd == "flood") {
      // flood <port> <count> [prefix] [first]: numbered lines at full speed.
      Reader& r = At(w);
      const int count = std::stoi(w.at(2));
      const std::string prefix = w.size() > 3 ? w[3] : "FL";
      long long number = w.size() > 4 ? std::stoll(w[4]) : 1;
      for (int i = 0; i < count; ++i, ++number) {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%06lld", number);
        r.outbox.push_back(prefix + digits + "\r\n");
      }
      Drain(r);
      return "OK";
    }
    if (cmd == "floodleft") {
      // Lines of the flood not yet completely written.
      return "OK " + std::to_string(At(w).outbox.size());
    }
    if (cmd == "later") {
      // later <port> <ms> <escaped bytes>: bytes sent after a delay.
      At(w);
      delayed_.push_back({now + ms(w.at(2)), std::stoi(w[1]), Unescape(Rest(line, 3))});
      return "OK";
    }
    if (cmd == "vanishlater") {
      At(w);
      delayed_.push_back({now + ms(w.at(2)), std::stoi(w[1]), {}, Delayed::kVanish});
      return "OK";
    }
    if (cmd == "received") {
      Reader& r = At(w);
      OnPortReadable(std::stoi(w[1]));
      const std::string out = Escape(r.received);
      r.received.clear();
      return "OK " + out;
    }
    if (cmd == "stats") {
      Reader& r = At(w);
      return "OK n=" + std::to_string(r.commandsN) + " k=" + std::to_string(r.commandsK) +
             " f=" + std::to_string(r.commandsF);
    }
    if (cmd == "cardtime") {
      const Reader& r = At(w);
      return "OK lines=" + std::to_string(r.cardLines) + " ns=" + std::to_string(r.lastCardNs);
    }
    if (cmd == "quit") {
      g_stop = 1;
      return "OK";
    }
    return "ERR unknown command " + cmd;
  }

  // Where the modem-line library records framing for pts<N>.
  std::string StateFile(const Reader& r) const {
    const std::string& path = r.pty->SlavePath();
    return lineStateDir_ + "/pts" + path.substr(path.rfind('/') + 1);
  }

  std::string prefix_;
  std::string lineStateDir_;
  std::map<int, Reader> readers_;
  std::vector<Delayed> delayed_;
  std::mt19937 random_{12345};
};

int Listen(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 8) != 0) return -1;
  return s;
}

int BoundPort(int s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

void RunScript(Simulator& sim, const std::string& path) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::string reply = sim.Run(line);
    if (reply.rfind("ERR", 0) == 0)
      std::fprintf(stderr, "ra03v_sim: %s: %s\n", line.c_str(), reply.c_str());
  }
}

// Wine links new prefixes' COM ports to the machine's serial devices (COM1 is
// the system console here) and restores such links when it starts. Only the
// simulator's own ports may exist: every other comN link goes, as does one
// whose terminal is gone.
void RemoveForeignPortLinks(const std::string& prefix) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(prefix + "/dosdevices", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 4 || name.compare(0, 3, "com") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos || !entry.is_symlink(ec))
      continue;
    const std::string target = fs::read_symlink(entry.path(), ec).string();
    if (target.rfind("/dev/pts/", 0) != 0 || !fs::exists(target, ec)) fs::remove(entry.path(), ec);
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: ra03v_sim --prefix WINEPREFIX [--control PORT] [--ready-file FILE]\n"
               "                 [--script FILE] [--line-state DIR]\n");
  return 2;
}

}  // namespace
}  // namespace sim

int main(int argc, char** argv) {
  using namespace sim;
  std::string prefix, readyFile, script, lineState;
  int controlPort = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    if (a == "--prefix")
      prefix = argv[++i];
    else if (a == "--control")
      controlPort = std::atoi(argv[++i]);
    else if (a == "--ready-file")
      readyFile = argv[++i];
    else if (a == "--script")
      script = argv[++i];
    else if (a == "--line-state")
      lineState = argv[++i];
    else
      return Usage();
  }
  if (prefix.empty()) return Usage();
  signal(SIGPIPE, SIG_IGN);
  struct sigaction stop {};
  stop.sa_handler = [](int) { g_stop = 1; };
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);

  const int listener = Listen(controlPort);
  if (listener < 0) {
    std::perror("ra03v_sim: control socket");
    return 1;
  }
  RemoveForeignPortLinks(prefix);
  Simulator simulator(prefix, lineState.empty() ? "/nonexistent" : lineState);
  if (!script.empty()) RunScript(simulator, script);
  const int port = BoundPort(listener);
  if (!readyFile.empty()) {
    const std::string tmp = readyFile + ".tmp";
    std::ofstream(tmp) << port << "\n";
    rename(tmp.c_str(), readyFile.c_str());
  }
  std::printf("ra03v_sim: control port %d\n", port);
  std::fflush(stdout);

  struct Client {
    int fd;
    std::string pending;
  };
  std::vector<Client> clients;
  while (!g_stop) {
    const int timeout = simulator.RunDue();
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
    std::vector<int> ports;
    for (auto& [n, r] : simulator.Readers()) {
      if (!r.pty) continue;
      const short wanted = r.outbox.empty() ? POLLIN : (POLLIN | POLLOUT);
      fds.push_back({r.pty->Master(), wanted, 0});
      ports.push_back(n);
    }
    if (poll(fds.data(), fds.size(), timeout) < 0) continue;
    const size_t clientCount = clients.size();
    for (size_t i = 0; i < ports.size(); ++i) {
      if ((fds[1 + clientCount + i].revents & POLLIN) && simulator.Readers().count(ports[i]))
        simulator.OnPortReadable(ports[i]);
      if ((fds[1 + clientCount + i].revents & POLLOUT) && simulator.Readers().count(ports[i]))
        simulator.DrainPort(ports[i]);
    }
    std::vector<Client> open;
    for (size_t i = 0; i < clientCount; ++i) {
      Client& c = clients[i];
      bool closed = false;
      if (fds[1 + i].revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[4096];
        const ssize_t n = read(c.fd, buf, sizeof buf);
        if (n <= 0)
          closed = true;
        else
          c.pending.append(buf, static_cast<size_t>(n));
      }
      for (size_t eol; !closed && (eol = c.pending.find('\n')) != std::string::npos;) {
        std::string line = c.pending.substr(0, eol);
        c.pending.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string reply = simulator.Run(line) + "\n";
        if (write(c.fd, reply.data(), reply.size()) < 0) closed = true;
      }
      if (closed)
        close(c.fd);
      else
        open.push_back(std::move(c));
    }
    clients = std::move(open);
    if (fds[0].revents & POLLIN) {
      const int c = accept(listener, nullptr, nullptr);
      if (c >= 0) clients.push_back({c, {}});
    }
  }
  for (const auto& c : clients) close(c.fd);
  simulator.Readers().clear();
  return 0;
}
