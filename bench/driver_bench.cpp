// Calls through the shipping DLL's entry, as a host makes them: a property get
// and "ОписаниеОшибки", in calls per second and microseconds per call.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "test_host.h"

#include "shipping_dll.h"

namespace {

template <typename F>
void Measure(const char* what, F call) {
  for (int i = 0; i < 1000; ++i) call();  // warm up
  const int calls = 100000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) call();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-40s %10.0f calls/s %8.2f us/call\n", what, calls / seconds, seconds * 1e6 / calls);
}

}  // namespace

int main() {
  using ra03v_host::Value;
  ra03v_host::Driver driver(ra03v::bench::ShippingDllPath());
  ra03v_host::Task task(RA03V_TASK_CLASS_INTERNAL);
  bool ok = true;
  Measure("property get DevicesQuantity (Russian name)", [&] {
    auto block = driver.GetProperty(L"КоличествоУстройств", &task);
    ok = ok && !block->Get()->HasError;
  });
  Measure("method ResultDescription (Russian name)", [&] {
    auto block = driver.Method(L"ОписаниеОшибки", {Value::Int(3)}, &task);
    ok = ok && !block->Get()->HasError;
  });
  // Each call above also builds and frees the host's block with its 1 MiB slot area.
  ra03v_host::Block block;
  block.SetName("call");
  block.Add(Value().Get());
  block.Add(Value::Text(L"КоличествоУстройств").Get());
  block.Add(Value::Int(RA03V_KIND_GET).Get());
  Measure("property get, block reused", [&] { ok = driver.Call(block, &task) && ok; });
  if (!ok) std::printf("a call failed\n");
  return ok ? 0 : 1;
}
