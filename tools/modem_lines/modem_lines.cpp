// Preloaded into the Wine processes of tests and the demo, it makes a Linux
// pseudo-terminal behave like the far end of a three-wire null-modem cable
// with a plain UART behind it:
// - modem lines: pseudo-terminals have none, so Wine's modem-status and
//   event-wait calls fail on them; here the lines are steady on and setting
//   them is accepted;
// - data bits and parity: the kernel forces 8 bits without parity on a
//   pseudo-terminal and refuses a change; here the terminal gets what it
//   accepts while the requested framing is kept and read back;
// - custom rates: Wine sets them through the serial-port divisor request,
//   which a pseudo-terminal lacks; here it is accepted and kept;
// - output purge: on a pseudo-terminal it drops bytes that a completed write
//   handed over but the far end has not read yet, so a busy machine loses the
//   last command written before a port closes; a port's driver completes a
//   write once the bytes have left its buffer, and a purge then finds nothing
//   to drop. Here only the input side is purged.
// What the driver asked for is published in $RA03V_LINE_STATE_DIR/pts<N> so
// that the simulated reader can report the line as a UART would see it.
// Everything else, and every file that is no pseudo-terminal, goes through.
#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR;

struct LineState {
  bool known = false;
  tcflag_t framing = CS8;
  int speedFlags = 0;
  int customDivisor = 0;
};

constexpr int kMaxTerminals = 4096;
LineState g_lines[kMaxTerminals];
std::mutex g_mutex;

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The terminal's index when fd is a Unix98 pseudo-terminal slave, else -1.
int TerminalIndex(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
  const unsigned m = major(st.st_rdev);
  if (m < 136 || m > 143) return -1;
  const int index = static_cast<int>((m - 136) * 256 + minor(st.st_rdev));
  return index < kMaxTerminals ? index : -1;
}

void Publish(int index, const LineState& s) {
  const char* dir = std::getenv("RA03V_LINE_STATE_DIR");
  if (!dir || !*dir) return;
  char path[512], tmp[520];
  std::snprintf(path, sizeof path, "%s/pts%d", dir, index);
  std::snprintf(tmp, sizeof tmp, "%s.tmp", path);
  FILE* f = std::fopen(tmp, "w");
  if (!f) return;
  std::fprintf(f, "framing=%u spd_cust=%d divisor=%d\n", static_cast<unsigned>(s.framing),
               (s.speedFlags & ASYNC_SPD_MASK) == ASYNC_SPD_CUST ? 1 : 0, s.customDivisor);
  std::fclose(f);
  std::rename(tmp, path);
}

}  // namespace

extern "C" int tcsetattr(int fd, int action, const struct termios* t) {
  static auto real = Real<int (*)(int, int, const struct termios*)>("tcsetattr");
  const int index = t ? TerminalIndex(fd) : -1;
  if (index < 0) return real(fd, action, t);
  struct termios accepted = *t;
  accepted.c_cflag = (accepted.c_cflag & ~kFraming) | CS8;
  const int result = real(fd, action, &accepted);
  if (result == 0) {
    std::lock_guard lock(g_mutex);
    g_lines[index].known = true;
    g_lines[index].framing = t->c_cflag & kFraming;
    Publish(index, g_lines[index]);
  }
  return result;
}

extern "C" int tcflush(int fd, int queue) {
  static auto real = Real<int (*)(int, int)>("tcflush");
  if (TerminalIndex(fd) < 0) return real(fd, queue);
  if (queue == TCOFLUSH) return 0;
  return real(fd, queue == TCIOFLUSH ? TCIFLUSH : queue);
}

extern "C" int tcgetattr(int fd, struct termios* t) {
  static auto real = Real<int (*)(int, struct termios*)>("tcgetattr");
  const int result = real(fd, t);
  const int index = result == 0 ? TerminalIndex(fd) : -1;
  if (index >= 0) {
    std::lock_guard lock(g_mutex);
    if (g_lines[index].known) t->c_cflag = (t->c_cflag & ~kFraming) | g_lines[index].framing;
  }
  return result;
}

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

int Ioctl(IoctlFunction real, int fd, unsigned long request, void* arg) {
  switch (request) {
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCGSERIAL:
    case TIOCSSERIAL:
      break;
    default:
      return real(fd, request, arg);
  }
  const int index = TerminalIndex(fd);
  if (index < 0) return real(fd, request, arg);
  if (request == TIOCMGET) {
    *static_cast<int*>(arg) = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    return 0;
  }
  std::lock_guard lock(g_mutex);
  LineState& s = g_lines[index];
  if (request == TIOCGSERIAL) {
    auto* ss = static_cast<struct serial_struct*>(arg);
    std::memset(ss, 0, sizeof *ss);
    ss->type = PORT_16550A;
    ss->baud_base = 115200;
    ss->flags = s.speedFlags;
    ss->custom_divisor = s.customDivisor;
    ss->xmit_fifo_size = 16;
  } else if (request == TIOCSSERIAL) {
    const auto* ss = static_cast<const struct serial_struct*>(arg);
    s.speedFlags = ss->flags & ASYNC_SPD_MASK;
    s.customDivisor = ss->custom_divisor;
    Publish(index, s);
  }
  return 0;  // modem-line set requests are accepted as a cable would
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
  static auto real = Real<IoctlFunction>("ioctl");
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  return Ioctl(real, fd, request, arg);
}

#if !defined(__LP64__)
// 32-bit programs built with a 64-bit time_t (32-bit Wine among them) call
// glibc's ioctl under this name, so it must be taken over as well.
extern "C" int __ioctl_time64(int fd, unsigned long request, ...) {
  static auto real = Real<IoctlFunction>("__ioctl_time64");
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  return Ioctl(real, fd, request, arg);
}
#endif
