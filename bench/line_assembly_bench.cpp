// Line assembly through the shipping DLL: a switched-on reader receives
// 300 KB without a terminator (the simulator's "garbage"), then CR LF; the
// figure is the time from the first byte to the event that the terminator
// completes, and the process CPU over it (the host thread only pumps and
// sleeps, so it is the event thread's work).
//
//   line_assembly_bench.exe [DLL ...]
//
// Each DLL given is measured in turn in this one run (default: the DLL built
// beside this program), so an older build can be put beside a newer one.
// Run it through tools/run-with-sim.sh --modem-lines.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "shipping_dll.h"
#include "support/sim_client.h"
#include "test_host.h"

namespace {

using ra03v::test::SimClient;
using ra03v_host::Value;

constexpr int kPort = 15;  // in the port table (1 to 16, 101 to 103, 901)
constexpr int kBytes = 300000;
constexpr int kPatienceMs = 600000;

double CpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME f) {
    return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

bool Measure(SimClient& sim, const std::wstring& path) {
  ra03v_host::EventSink sink;
  ra03v_host::Driver driver(path);
  driver.Control("__@@EventSupport", sink.Interface());
  GUID code;
  CoCreateGuid(&code);
  const std::wstring document = ra03v_host::EquipmentDocument(
      ra03v_host::ReaderDeviceElement(code, L"Считыватель", kPort));
  ra03v_host::Task list(RA03V_TASK_CLASS_INTERNAL);
  driver.Method(L"НастроитьУстройства", {Value::Text(document)}, &list);
  ra03v_host::Task task(RA03V_TASK_CLASS_THREAD);
  task.SetDevice(code);
  auto on = driver.Method(L"Включить", {Value()}, &task);
  if (on->Get()->HasError) {
    std::printf("%s: cannot switch on: %d %s\n", Narrow(path).c_str(), on->Get()->ErrorCode,
                Narrow(on->ErrorDescription()).c_str());
    driver.Control("__FRee");
    return false;
  }
  ra03v_host::PumpFor(700);  // init sequence and a first poll out of the way

  const auto start = std::chrono::steady_clock::now();
  const double cpuBefore = CpuMs();
  // The simulator writes as fast as the driver reads; its reply comes when
  // the last byte went out. A slow build may leave the terminal full for
  // seconds at a time, so the simulator waits as long as the measure may last.
  sim.Command("patience " + std::to_string(kPort) + " " + std::to_string(kPatienceMs));
  // The client throws on any reply but OK, with the simulator's reason.
  std::string refusal;
  try {
    sim.Command("garbage " + std::to_string(kPort) + " " + std::to_string(kBytes));
  } catch (const std::exception& e) {
    refusal = e.what();
  }
  const bool sent = refusal.empty();
  if (sent) sim.Send(kPort, "\\r\\n");
  const bool arrived = sent && sink.WaitForEvents(1, kPatienceMs);
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const double cpuMs = CpuMs() - cpuBefore;

  driver.Method(L"Выключить", {Value()}, &task);
  driver.Control("__FRee");
  if (!sent) {
    std::printf("%s: the simulator could not write the bytes (%s)\n", Narrow(path).c_str(),
                refusal.c_str());
    return false;
  }
  if (!arrived) {
    std::printf("%s: no event within 10 minutes\n", Narrow(path).c_str());
    return false;
  }
  std::printf("%s\n  %d bytes without a terminator: %.0f ms, %.0f KB/s, process CPU %.0f ms (%.0f%% of one core)\n",
              Narrow(path).c_str(), kBytes, wallMs, kBytes / wallMs * 1000.0 / 1024.0, cpuMs,
              wallMs > 0 ? cpuMs / wallMs * 100.0 : 0.0);
  return true;
}

}  // namespace

int main() {
  SimClient sim;
  if (!sim.Connected()) {
    std::printf("the simulated reader is not running (use tools/run-with-sim.sh)\n");
    return 1;
  }
  sim.CreatePort(kPort);
  std::vector<std::wstring> paths;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) paths.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  if (paths.empty()) paths.push_back(ra03v::bench::ShippingDllPath());
  bool ok = true;
  for (const std::wstring& path : paths) {
    try {
      ok = Measure(sim, path) && ok;
    } catch (const std::exception& e) {
      std::printf("%s: %s\n", Narrow(path).c_str(), e.what());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
