// Figures for the port manager against the simulated reader (run it through
// tools/run-with-sim.sh --modem-lines; scripts/bench.sh does):
// - CPU time of the owner's thread while Execute waits out the reply timer
//   (100 ms) for a read that never comes, as a share of the wall time (the
//   run writes one unanswered byte first: a read alone ends at once);
// - the round trip from writing "k" through the manager to its line handler
//   receiving the card line that the simulator answers at once (median and
//   99th percentile).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/win/event.h"
#include "portmanager/port_manager.h"
#include "support/sim_client.h"

#include "bench_timing.h"

namespace {

using namespace ra03v;
using bench::Percentile;
using bench::ThreadCpuMs;

constexpr int kPort = 16;  // COM16: in the port table
constexpr const char* kCard = "0A1B2C3D";
constexpr int kWaitRuns = 50;
constexpr DWORD kReplyMs = 100;
constexpr int kRoundTrips = 1000;

double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / perMs;
}

// The line handler: notes when a line with the card arrives and empties the
// line buffer, as the reader does.
struct CardLines {
  TPortManager* manager = nullptr;
  Event arrived = Event::AutoReset();
  std::atomic<double> at{0};
  std::atomic<int> other{0};

  static void Receive(void* owner, const char* text) {
    auto* self = static_cast<CardLines*>(owner);
    const std::string line(text);
    self->manager->SetLineBuffer("");
    if (line.find(kCard) == std::string::npos) {
      self->other.fetch_add(1);
      return;
    }
    self->at = NowMs();
    self->arrived.Set();
  }
};

void Configure(TPortManager& manager) {
  manager.Settings().portIndex = TableIndex(kPortNumbers, kPort);
  manager.Settings().keepOpen = 1;
  manager.SetDeviceTag("1");
  manager.SetReplyTimeout(kReplyMs);
}

bool WaitingForAReadThatNeverComes() {
  TPortManager manager;
  Configure(manager);
  if (!manager.Connect()) {
    std::printf("reply wait: COM%d does not open\n", kPort);
    return false;
  }
  std::string reply;
  // Summed over the runs: Wine counts thread time in 10 ms ticks, so one run
  // alone shows either nothing or a whole tick.
  double cpu = 0, wall = 0;
  int lastErrors = 0;
  for (int i = 0; i < kWaitRuns; ++i) {
    // "x" is no reader command: nothing answers it, and the read after it
    // waits out the reply timer.
    manager.AddCommand(true, 1, "x");
    manager.AddCommand(false, 4, "");
    const double cpuBefore = ThreadCpuMs();
    const double start = NowMs();
    manager.Execute(reply);
    const double runWall = NowMs() - start;
    const double runCpu = ThreadCpuMs() - cpuBefore;
    cpu += runCpu;
    wall += runWall;
    if (manager.LastError() != kPmOk || !reply.empty()) ++lastErrors;
  }
  std::printf(
      "Execute waiting %lu ms for a read that never comes (%d runs): wall %.1f ms a run, "
      "owner thread CPU %.2f ms a run = %.2f%% of the wall time (target: under 5%%)%s\n",
      static_cast<unsigned long>(kReplyMs), kWaitRuns, wall / kWaitRuns, cpu / kWaitRuns,
      cpu / wall * 100, lastErrors ? "; some runs did not end as a read time-out" : "");
  manager.Disconnect(false);
  return true;
}

bool CardRoundTrips(test::SimClient& sim) {
  TPortManager manager;
  Configure(manager);
  CardLines lines;
  lines.manager = &manager;
  manager.AddLineHandler("\r\n", &lines, &CardLines::Receive);
  if (!manager.Connect()) {
    std::printf("round trip: COM%d does not open\n", kPort);
    return false;
  }
  sim.Command("card " + std::to_string(kPort) + " " + kCard + " " +
              std::to_string(kRoundTrips * 2));
  std::string reply;
  std::vector<double> times;
  int lost = 0;
  for (int i = 0; i < kRoundTrips; ++i) {
    manager.AddCommand(true, 1, "k");
    const double start = NowMs();
    manager.Execute(reply);
    if (!lines.arrived.Wait(5000)) {
      ++lost;
      continue;
    }
    times.push_back(lines.at.load() - start);
  }
  manager.Disconnect(false);
  if (times.empty()) {
    std::printf("round trip: no card line came back\n");
    return false;
  }
  std::printf(
      "round trip \"k\" to card line at the line handler (%zu of %d): median %.3f ms, "
      "99th percentile %.3f ms%s\n",
      times.size(), kRoundTrips, Percentile(times, 50), Percentile(times, 99),
      lost ? " (some lost)" : "");
  return lost == 0;
}

}  // namespace

int main() {
  test::SimClient sim;
  if (!sim.Connected()) {
    std::printf(
        "port_manager_bench: no simulator (run it through tools/run-with-sim.sh "
        "--modem-lines)\n");
    return 0;
  }
  try {
    sim.CreatePort(kPort);
    const bool waited = WaitingForAReadThatNeverComes();
    const bool tripped = CardRoundTrips(sim);
    return waited && tripped ? 0 : 1;
  } catch (const std::exception& e) {
    std::printf("port_manager_bench failed: %s\n", e.what());
    return 1;
  }
}
