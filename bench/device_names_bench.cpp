// Loading an equipment document of many devices named by the driver itself
// through the entry ("НастроитьУстройства"), as a host does after storing it.
//
//   device_names_bench.exe [--sizes 100,400,1000] [DLL ...]
//
// Each DLL given (default: the shipping DLL of this build) is loaded in turn
// and measured at every size, so one run shows two builds side by side.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "test_host.h"

#include "bench_timing.h"
#include "shipping_dll.h"

namespace {

using ra03v_host::Value;

// A stored document: every device keeps the name the driver generated for it.
std::wstring DocumentOf(int devices) {
  std::wstring elements;
  for (int i = 1; i <= devices; ++i) {
    GUID code{};
    CoCreateGuid(&code);
    elements += ra03v_host::ReaderDeviceElement(
        code, L"Проксимити_Cчитыватель_" + std::to_wstring(i), 1 + i % 16);
  }
  return ra03v_host::EquipmentDocument(elements);
}

// Seconds for one load into the driver's empty list, or a negative value on
// failure; cpuSeconds gets the process's CPU time for it (the machine may be
// busy with other work, which the wall time includes).
double LoadSeconds(ra03v_host::Driver& driver, const std::wstring& document, int devices,
                   double& cpuSeconds) {
  ra03v_host::Task task(RA03V_TASK_CLASS_INTERNAL);
  const double cpuStart = ra03v::bench::ProcessCpuMs();
  const auto start = std::chrono::steady_clock::now();
  auto block = driver.Method(L"НастроитьУстройства", {Value::Text(document)}, &task);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cpuSeconds = (ra03v::bench::ProcessCpuMs() - cpuStart) / 1000.0;
  const bool loaded = !block->Get()->HasError &&
                      driver.GetProperty(L"КоличествоУстройств", &task)->At(0).ToInt() == devices;
  driver.Control("__FRee");  // empties the list for the next size
  return loaded ? seconds : -1.0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<int> sizes = {100, 400, 1000};
  std::vector<std::wstring> dlls;
  for (int i = 1; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--sizes") == 0 && i + 1 < argc) {
      sizes.clear();
      for (const wchar_t* p = argv[++i]; *p;) {
        wchar_t* end = nullptr;
        sizes.push_back(static_cast<int>(std::wcstol(p, &end, 10)));
        p = *end == L',' ? end + 1 : end;
      }
    } else {
      dlls.push_back(argv[i]);
    }
  }
  if (dlls.empty()) dlls.push_back(ra03v::bench::ShippingDllPath());
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool ok = true;
  for (const std::wstring& path : dlls) {
    ra03v_host::Driver driver(path);
    std::printf("%ls\n", path.c_str());
    for (int devices : sizes) {
      double cpu = 0;
      const double seconds = LoadSeconds(driver, DocumentOf(devices), devices, cpu);
      if (seconds < 0) {
        std::printf("  %5d devices: the load failed\n", devices);
        ok = false;
        continue;
      }
      std::printf("  %5d devices: %9.3f s wall, %8.3f s CPU (%.3f ms CPU per device)\n", devices,
                  seconds, cpu, cpu * 1000.0 / devices);
      std::fflush(stdout);
    }
  }
  CoUninitialize();
  return ok ? 0 : 1;
}
