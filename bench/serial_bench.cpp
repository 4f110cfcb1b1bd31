// Figures for the serial port against the simulated reader (run it through
// tools/run-with-sim.sh --modem-lines; scripts/bench.sh does):
// - round trip of one byte: written by the port, echoed at once by the
//   simulator, timed until OnRxChar delivers it on the event thread;
// - CPU time of an open, idle port over 10 s, next to the CPU time of a bare
//   overlapped WaitCommEvent pending on the same port for the same time (Wine's
//   own serial wait polls inside the process, so that is the floor);
// - CPU time of an open port over 3 s while 3 received bytes lie unread, with
//   a handler that reads nothing (its notifications counted) and with none.
//   Built from an older tree's sources too, the same program gives the
//   figures before a change (bench/unread_bytes_compare.sh runs both).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "foundation/win/event.h"
#include "serial/com_port.h"
#include "support/sim_client.h"

#include "bench_timing.h"

namespace {

using ra03v::bench::ProcessCpuMs;

using namespace ra03v;

constexpr int kPort = 21;
constexpr int kRoundTrips = 1000;
constexpr DWORD kIdleMs = 10000;
constexpr DWORD kUnreadMs = 3000;

double Now(LARGE_INTEGER frequency) {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void RoundTrips(test::SimClient& sim) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  sim.Command("echo " + std::to_string(kPort) + " on");
  TComPort port;
  port.SetPort("COM" + std::to_string(kPort));
  port.SetSyncMethod(smNone);
  Event arrived = Event::AutoReset();
  std::atomic<double> arrivedAt{0};
  port.OnRxChar = [&](TCustomComPort& sender, int32_t count) {
    std::string bytes;
    sender.ReadText(bytes, count);
    arrivedAt = Now(frequency);
    arrived.Set();
  };
  port.Open();
  std::vector<double> times;
  int lost = 0;
  for (int i = 0; i < kRoundTrips; ++i) {
    const double start = Now(frequency);
    port.WriteText("x");
    if (!arrived.Wait(5000)) {
      ++lost;
      continue;
    }
    times.push_back(arrivedAt.load() - start);
  }
  port.Close();
  sim.Command("echo " + std::to_string(kPort) + " off");
  std::sort(times.begin(), times.end());
  if (times.empty()) {
    std::printf("round trip: no byte came back\n");
    return;
  }
  const double median = times[times.size() / 2];
  const double p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
  std::printf("round trip of one byte (%zu of %d): median %.3f ms, 99th percentile %.3f ms%s\n",
              times.size(), kRoundTrips, median, p99, lost ? " (some lost)" : "");
}

double IdlePortCpuMs() {
  TComPort port;
  port.SetPort("COM" + std::to_string(kPort));
  port.SetSyncMethod(smNone);
  port.OnRxChar = [](TCustomComPort&, int32_t) {};
  port.Open();
  Sleep(200);
  const double before = ProcessCpuMs();
  Sleep(kIdleMs);
  const double used = ProcessCpuMs() - before;
  port.Close();
  return used;
}

double BareWaitCpuMs() {
  const std::string name = "\\\\.\\COM" + std::to_string(kPort);
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  SetCommMask(h, 0x5FF);
  Event signal = Event::ManualReset();
  OVERLAPPED overlapped{};
  overlapped.hEvent = signal.Get();
  DWORD occurred = 0;
  const bool pending =
      !WaitCommEvent(h, &occurred, &overlapped) && GetLastError() == ERROR_IO_PENDING;
  Sleep(200);
  const double before = ProcessCpuMs();
  Sleep(kIdleMs);
  const double used = ProcessCpuMs() - before;
  SetCommMask(h, 0);
  CancelIo(h);
  DWORD n = 0;
  if (pending) GetOverlappedResult(h, &overlapped, &n, TRUE);
  CloseHandle(h);
  return pending ? used : -1;
}

struct UnreadFigures {
  double cpuMs = -1;
  int notifications = 0;
};

UnreadFigures UnreadBytes(test::SimClient& sim, bool withHandler) {
  TComPort port;
  port.SetPort("COM" + std::to_string(kPort));
  port.SetSyncMethod(smNone);
  std::atomic<int> notifications{0};
  if (withHandler) port.OnRxChar = [&](TCustomComPort&, int32_t) { ++notifications; };
  port.Open();
  sim.Send(kPort, "abc");
  for (int i = 0; i < 500 && port.QueuedInputCount() < 3; ++i) Sleep(10);
  UnreadFigures figures;
  if (port.QueuedInputCount() == 3) {
    Sleep(200);
    const int before = notifications.load();
    const double cpuBefore = ProcessCpuMs();
    Sleep(kUnreadMs);
    figures.cpuMs = ProcessCpuMs() - cpuBefore;
    figures.notifications = notifications.load() - before;
  }
  port.Close();
  return figures;
}

void PrintUnread(const char* what, const UnreadFigures& f, bool counted) {
  if (f.cpuMs < 0) {
    std::printf("3 unread bytes, %s: the bytes did not arrive\n", what);
    return;
  }
  std::printf("3 unread bytes over %.0f s, %s: CPU %.1f ms (%.2f%% of a core)", kUnreadMs / 1000.0,
              what, f.cpuMs, f.cpuMs / kUnreadMs * 100);
  if (counted) std::printf(", %d more notifications", f.notifications);
  std::printf("\n");
}

}  // namespace

int main() {
  test::SimClient sim;
  if (!sim.Connected()) {
    std::printf(
        "serial_bench: no simulator (run it through tools/run-with-sim.sh --modem-lines)\n");
    return 0;
  }
  try {
    sim.CreatePort(kPort);
    RoundTrips(sim);
    const double bare = BareWaitCpuMs();
    const double idle = IdlePortCpuMs();
    std::printf(
        "CPU over %.0f s: bare pending WaitCommEvent %.1f ms (%.2f%% of a core), "
        "open idle port %.1f ms (%.2f%% of a core)\n",
        kIdleMs / 1000.0, bare, bare / kIdleMs * 100, idle, idle / kIdleMs * 100);
    if (bare > 0)
      std::printf("the port adds %.1f%% to the bare wait (target: under 10%%)\n",
                  (idle - bare) / bare * 100);
    PrintUnread("handler reads nothing", UnreadBytes(sim, true), true);
    PrintUnread("no handler", UnreadBytes(sim, false), false);
  } catch (const std::exception& e) {
    std::printf("serial_bench failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
