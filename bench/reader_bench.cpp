// Figures for one RA-03V reader driven through the shipping DLL by the
// project's host, with the simulated reader on the serial side (run it through
// tools/run-with-sim.sh --modem-lines; scripts/bench.sh does):
// - CPU time of the process over an idle stretch with the reader switched on,
//   next to a bare pending WaitCommEvent on another port (Wine's own floor);
// - latency from the simulator's write of a card line's last byte to the
//   host's event, both sides stamped on the system's real-time clock;
// - handles and private memory around switch-on/switch-off cycles;
// - a pulled cable put back: from the port's return to the first card event
//   after it, and the host thread's time in each recovery try meanwhile.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/real_time.h"
#include "support/sim_client.h"
#include "test_host.h"

#include "bench_timing.h"
#include "host_reader.h"
#include "pending_comm_wait.h"
#include "process_figures.h"

namespace {

using namespace ra03v::bench;
using ra03v::test::RealTimeNs;
using ra03v::test::SettingOf;
using ra03v::test::SimClient;

constexpr int kReaderPort = 11;
constexpr int kBarePort = 12;
constexpr DWORD kIdleMs = 30000;
constexpr int kCards = 200;
constexpr int kCycles = 1000;
// Only keeps a lost card from stalling the run: a card waits at most one poll (500 ms).
constexpr DWORD kCardWaitMs = 5000;
constexpr int kRecoveries = 20;
constexpr DWORD kLostStretchMs = 10000;
// Loss and recovery take seconds; a round that needs more than this failed.
constexpr DWORD kLinkWaitMs = 10000;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int SimCount(SimClient& sim, const std::string& command, const std::string& key) {
  const std::string value = SettingOf(sim.Command(command), key);
  return value.empty() ? -1 : std::stoi(value);
}

// Process CPU over ms of pumping this thread's messages (the reader's poll
// timer runs on it), with the wall time it took.
struct CpuFigure {
  double cpuMs = 0;
  double wallMs = 0;
  double Percent() const { return wallMs > 0 ? cpuMs / wallMs * 100 : 0; }
};

CpuFigure IdleCpu(DWORD ms) {
  const double before = ProcessCpuMs();
  const auto start = std::chrono::steady_clock::now();
  ra03v_host::PumpFor(ms);
  return {ProcessCpuMs() - before, SecondsSince(start) * 1000};
}

void PrintCpu(const char* what, const CpuFigure& f) {
  std::printf("idle CPU, %s: %.1f ms over %.1f s = %.2f%% of one core\n", what, f.cpuMs,
              f.wallMs / 1000, f.Percent());
}

bool IdleCpuFigures(SimClient& sim, HostReader& reader) {
  CpuFigure bare;
  {
    PendingCommWait wait(kBarePort);
    if (!wait.Pending()) {
      std::printf("bare WaitCommEvent on COM%d: %s\n", kBarePort, wait.Failure().c_str());
      return false;
    }
    ra03v_host::PumpFor(500);  // past the open's own work
    bare = IdleCpu(kIdleMs);
  }
  PrintCpu("bare pending WaitCommEvent (EV_RXCHAR) on a second port", bare);

  std::wstring error;
  if (!reader.SwitchOn(&error)) {
    std::printf("switching the reader on failed: %s\n", ConsoleText(error).c_str());
    return false;
  }
  ra03v_host::PumpFor(1000);  // past the init sequence and the first poll
  const std::string stats = "stats " + std::to_string(kReaderPort);
  const int pollsBefore = SimCount(sim, stats, "k");
  const CpuFigure on = IdleCpu(kIdleMs);
  const int polls = SimCount(sim, stats, "k") - pollsBefore;
  PrintCpu("reader switched on, no card", on);
  std::printf("polls answered by the simulator meanwhile: %d (one per 500 ms expected)\n", polls);
  std::printf(
      "idle CPU, the driver's own share: %.1f ms = %.2f%% of one core "
      "(target: under 1%% of a core on top of the bare wait)\n",
      on.cpuMs - bare.cpuMs, on.Percent() - bare.Percent());
  return true;
}

// The handler runs on the port's event thread (card events) or on this one
// (status events); it stamps before anything else.
struct EventStamps {
  std::atomic<long long> lastNs{0};
  std::atomic<int> count{0};
  std::atomic<long long> statusNs{0};
  std::atomic<int> lost{0};
  std::atomic<int> back{0};
};

bool WaitForStamp(const EventStamps& stamps, int count, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (stamps.count.load() < count) {
    if (GetTickCount() - start >= timeoutMs) return false;
    ra03v_host::PumpFor(20);
  }
  return true;
}

// One card at a time, each on the poll after it is presented; the reader must be on.
bool CardLatencyFigures(SimClient& sim, ra03v_host::EventSink& sink, const EventStamps& stamps) {
  std::vector<double> latenciesMs;
  int lost = 0, unmatched = 0;
  const std::string cardTime = "cardtime " + std::to_string(kReaderPort);
  for (int i = 0; i < kCards; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", 0xC0DE0000u + static_cast<unsigned>(i));
    const int expected = stamps.count.load() + 1;
    sim.Command("card " + std::to_string(kReaderPort) + " " + code + " 1");
    if (!WaitForStamp(stamps, expected, kCardWaitMs)) {
      ++lost;
      continue;
    }
    const long long eventNs = stamps.lastNs.load();
    const std::string reply = sim.Command(cardTime);
    const std::wstring data = sink.Events().back().data;
    // The stamp belongs to this card only when every card line so far gave one event.
    if (std::stoi(SettingOf(reply, "lines")) != expected || data != std::wstring(code, code + 8)) {
      ++unmatched;
      continue;
    }
    latenciesMs.push_back(static_cast<double>(eventNs - std::stoll(SettingOf(reply, "ns"))) / 1e6);
  }
  std::printf("cards timed: %zu of %d (lost %d, unmatched %d)\n", latenciesMs.size(), kCards, lost,
              unmatched);
  if (latenciesMs.empty()) return false;
  std::printf("card line last byte to host event, median: %.3f ms\n", Percentile(latenciesMs, 50));
  std::printf("card line last byte to host event, 99th percentile: %.3f ms\n",
              Percentile(latenciesMs, 99));
  return lost == 0 && unmatched == 0;
}

void PrintHandles(const char* when, const ProcessFigures& f, const ProcessFigures* before) {
  std::printf("handles %s the cycles: GetProcessHandleCount %lu", when, f.handleCount);
  if (before)
    std::printf(" (%+ld)",
                static_cast<long>(f.handleCount) - static_cast<long>(before->handleCount));
  std::printf(", in the system handle table %lld", f.tableHandles);
  if (before) std::printf(" (%+lld)", f.tableHandles - before->tableHandles);
  std::printf("\n");
}

void PrintMemory(const char* when, const ProcessFigures& f, const ProcessFigures* before) {
  auto kib = [](size_t bytes) { return static_cast<double>(bytes) / 1024; };
  std::printf("private memory %s the cycles: PrivateUsage %.1f KiB", when, kib(f.privateUsage));
  if (before) std::printf(" (%+.1f KiB)", kib(f.privateUsage) - kib(before->privateUsage));
  std::printf(", commit charge (PagefileUsage) %.1f KiB", kib(f.commitCharge));
  if (before) std::printf(" (%+.1f KiB)", kib(f.commitCharge) - kib(before->commitCharge));
  std::printf("\n");
}

// Pumps this thread's messages for ms, timing each timer message it
// dispatches: the driver's timers (poll, reply, recovery) run on this thread.
std::vector<double> TimedPump(DWORD ms) {
  std::vector<double> timerMs;
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const auto before = std::chrono::steady_clock::now();
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (msg.message == WM_TIMER)
        timerMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before)
                .count());
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return timerMs;
    MsgWaitForMultipleObjectsEx(0, nullptr, ms - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

bool WaitForCount(const std::atomic<int>& counter, int count, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (counter.load() < count) {
    if (GetTickCount() - start >= timeoutMs) return false;
    ra03v_host::PumpFor(5);
  }
  return true;
}

void PrintTimerFigures(const char* what, std::vector<double> timerMs, const CpuFigure& cpu) {
  if (timerMs.empty()) {
    std::printf("recovery tries, %s: no timer ran\n", what);
    return;
  }
  std::printf(
      "host thread per timer tick while lost, %s: %zu ticks in %.1f s, median %.3f ms, "
      "99th percentile %.3f ms, max %.3f ms; process CPU %.2f%% of one core\n",
      what, timerMs.size(), cpu.wallMs / 1000, Percentile(timerMs, 50), Percentile(timerMs, 99),
      *std::max_element(timerMs.begin(), timerMs.end()), cpu.Percent());
}

// The reader must be on, with status events. Each round: the cable pulled,
// the loss reported, a card presented, the cable put back; timed from the
// return to the first card event. Then the host thread's cost of the tries
// with no port, and with a port whose reader keeps silent.
bool RecoveryFigures(SimClient& sim, const EventStamps& stamps) {
  const std::string port = std::to_string(kReaderPort);
  std::vector<double> toLossMs, toRecoveryMs, toCardMs;
  int failed = 0;
  for (int i = 0; i < kRecoveries; ++i) {
    const int lost = stamps.lost.load(), back = stamps.back.load();
    const long long pulledNs = RealTimeNs();
    sim.Command("unplug " + port);
    if (!WaitForCount(stamps.lost, lost + 1, kLinkWaitMs)) {
      ++failed;
      sim.Command("plug " + port);
      continue;
    }
    toLossMs.push_back(static_cast<double>(stamps.statusNs.load() - pulledNs) / 1e6);
    // One answer goes to the init sequence's "k", the next to the first poll.
    char code[16];
    std::snprintf(code, sizeof code, "%08X", 0xBAC00000u + static_cast<unsigned>(i));
    sim.Command("card " + port + " " + code + " 2");
    // Back at a random point of the one-second try schedule.
    ra03v_host::PumpFor(static_cast<DWORD>(300 + (i * 379) % 1000));
    const int cards = stamps.count.load();
    sim.Command("plug " + port);
    const long long returnedNs = RealTimeNs();
    if (!WaitForCount(stamps.back, back + 1, kLinkWaitMs) ||
        !WaitForCount(stamps.count, cards + 1, kLinkWaitMs)) {
      ++failed;
      continue;
    }
    toRecoveryMs.push_back(static_cast<double>(stamps.statusNs.load() - returnedNs) / 1e6);
    toCardMs.push_back(static_cast<double>(stamps.lastNs.load() - returnedNs) / 1e6);
    ra03v_host::PumpFor(700);  // the card's last answer, if any
  }
  std::printf("recoveries timed: %zu of %d\n", toCardMs.size(), kRecoveries);
  if (!toLossMs.empty())
    std::printf("cable pulled to loss event: median %.0f ms, max %.0f ms (polls every 500 ms)\n",
                Percentile(toLossMs, 50), *std::max_element(toLossMs.begin(), toLossMs.end()));
  if (!toCardMs.empty()) {
    std::printf(
        "port back to recovery event: median %.0f ms, max %.0f ms (tries once a second)\n",
        Percentile(toRecoveryMs, 50), *std::max_element(toRecoveryMs.begin(), toRecoveryMs.end()));
    std::printf("port back to first card event after it: median %.0f ms, max %.0f ms\n",
                Percentile(toCardMs, 50), *std::max_element(toCardMs.begin(), toCardMs.end()));
  }

  // The cost of the tries to the host: the port not there at all ...
  int lost = stamps.lost.load();
  sim.Command("unplug " + port);
  bool ok = WaitForCount(stamps.lost, lost + 1, kLinkWaitMs);
  double before = ProcessCpuMs();
  auto start = std::chrono::steady_clock::now();
  std::vector<double> ticks = TimedPump(kLostStretchMs);
  PrintTimerFigures("port gone (each tick one try)",
                    ticks, {ProcessCpuMs() - before, SecondsSince(start) * 1000});
  const int back = stamps.back.load();
  sim.Command("plug " + port);
  ok = WaitForCount(stamps.back, back + 1, kLinkWaitMs) && ok;

  // ... and a port that opens with a reader that does not answer.
  lost = stamps.lost.load();
  sim.Command("silent " + port);
  ok = WaitForCount(stamps.lost, lost + 1, kLinkWaitMs) && ok;
  before = ProcessCpuMs();
  start = std::chrono::steady_clock::now();
  ticks = TimedPump(kLostStretchMs);
  const CpuFigure silentCpu{ProcessCpuMs() - before, SecondsSince(start) * 1000};
  PrintTimerFigures("reader silent, all ticks", ticks, silentCpu);
  // The ticks alternate: a try opens the port and writes "n", the next closes it.
  std::vector<double> opening, closing;
  for (size_t i = 0; i < ticks.size(); ++i) (i % 2 ? closing : opening).push_back(ticks[i]);
  PrintTimerFigures("reader silent, opening ticks (open, write \"n\")", opening, silentCpu);
  PrintTimerFigures("reader silent, closing ticks (no answer, close)", closing, silentCpu);
  // The floor under an opening try, timed meanwhile on a second port: open,
  // one pending wait for bytes, cancel and close, with no driver code at all.
  std::vector<double> bareMs;
  for (int i = 0; i < 9; ++i) {
    const auto bareStart = std::chrono::steady_clock::now();
    { PendingCommWait bare(kBarePort); }
    bareMs.push_back(SecondsSince(bareStart) * 1000);
    ra03v_host::PumpFor(100);
  }
  std::printf("bare open, pending wait and close of a second port: median %.3f ms, max %.3f ms\n",
              Percentile(bareMs, 50), *std::max_element(bareMs.begin(), bareMs.end()));
  const int tries = SimCount(sim, "stats " + port, "n");
  sim.Command("speak " + port);
  ok = WaitForCount(stamps.back, stamps.back.load() + 1, kLinkWaitMs) && ok;
  std::printf("\"n\" commands the simulator counted so far: %d\n", tries);
  return ok && failed == 0;
}

// The reader must be off.
bool SwitchCycleFigures(HostReader& reader) {
  auto cycle = [&] {
    const bool on = reader.SwitchOn();
    const bool off = reader.SwitchOff();
    ra03v_host::PumpFor(0);  // whatever the calls posted, as a host's loop would run it
    return on && off;
  };
  const bool warmedUp = cycle();  // first use makes the lazily built objects
  const ProcessFigures before = MeasureProcess();
  const auto start = std::chrono::steady_clock::now();
  int failed = 0;
  for (int i = 0; i < kCycles; ++i)
    if (!cycle()) ++failed;
  const double seconds = SecondsSince(start);
  const ProcessFigures after = MeasureProcess();
  std::printf("switch-on/switch-off cycles: %d in %.1f s = %.2f ms each, %d failed%s\n", kCycles,
              seconds, seconds * 1000 / kCycles, failed, warmedUp ? "" : " (warm-up failed)");
  PrintHandles("before", before, nullptr);
  PrintHandles("after", after, &before);
  PrintMemory("before", before, nullptr);
  PrintMemory("after", after, &before);
  return warmedUp && failed == 0;
}

}  // namespace

// "--recovery" runs the pulled-cable figures alone.
int main(int argc, char** argv) {
  const bool recoveryOnly = argc > 1 && std::string(argv[1]) == "--recovery";
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // figures as they come in a run of minutes
  SimClient sim;
  if (!sim.Connected()) {
    std::printf(
        "reader_bench: no simulator (run it through tools/run-with-sim.sh --modem-lines)\n");
    return 0;
  }
  if (RealTimeNs() < 0) {
    std::printf("reader_bench: GetSystemTimePreciseAsFileTime is missing\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  try {
    sim.CreatePort(kReaderPort);
    sim.CreatePort(kBarePort);
    EventStamps stamps;
    ra03v_host::EventSink sink;  // outlives the driver, which holds it
    sink.SetEventHandler([&stamps](const ra03v_host::ExternalEvent& e) {
      const long long now = RealTimeNs();
      if (e.name == L"СостояниеСчитывателя") {
        stamps.statusNs = now;
        ++(e.data == L"НетСвязи" ? stamps.lost : stamps.back);
        return;
      }
      stamps.lastNs = now;
      ++stamps.count;
    });
    HostReader reader(sink, kReaderPort,
                      L"<Параметр Идентификатор=\"СобытияСвязи\" Значение=\"1\"/>");
    std::printf("reader_bench: RA-03V reader on COM%d through ra03v.dll, simulated reader\n",
                kReaderPort);
    if (recoveryOnly) {
      ok = reader.SwitchOn();
      ra03v_host::PumpFor(1000);
      ok = ok && RecoveryFigures(sim, stamps);
      ok = reader.SwitchOff() && ok;
    } else {
      ok = IdleCpuFigures(sim, reader);
      if (ok) {
        ok = CardLatencyFigures(sim, sink, stamps);
        ok = RecoveryFigures(sim, stamps) && ok;
        ok = reader.SwitchOff() && ok;
      }
      ok = SwitchCycleFigures(reader) && ok;
    }
  } catch (const std::exception& e) {
    std::printf("reader_bench failed: %s\n", e.what());
    return 1;
  }
  std::printf("total run time: %.0f s\n", SecondsSince(start));
  return ok ? 0 : 1;
}
