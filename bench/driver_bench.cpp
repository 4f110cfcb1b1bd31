// Calls through the driver DLL's entry, as a host makes them: property gets,
// method calls and the name lookups of the host's name interface, in
// microseconds per call. Takes the DLLs to compare as arguments (the shipping
// DLL when none is given); they are measured in turns, each loaded alone, and
// the best of the turns is printed, so that two builds compare in one run.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "test_host.h"

#include "shipping_dll.h"

namespace {

using ra03v_host::Value;

constexpr int kTurns = 3;

// Microseconds per call of call, over calls calls after a warm-up.
double MicrosecondsPerCall(int calls, const std::function<void()>& call) {
  for (int i = 0; i < calls / 100 + 10; ++i) call();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) call();
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
             .count() /
         calls;
}

// A property get as a host builds it: a new block per call, freed after it.
void AddGet(ra03v_host::Block& block, const wchar_t* name) {
  block.SetName("call");
  block.Add(Value().Get());
  block.Add(Value::Text(name).Get());
  block.Add(Value::Int(RA03V_KIND_GET).Get());
}

// What the calls of one loaded DLL share.
struct Context {
  explicit Context(ra03v_host::Driver& d) : driver(d) {}
  ra03v_host::Driver& driver;
  ra03v_host::Task task{RA03V_TASK_CLASS_INTERNAL};
  ra03v_host::Block reused;  // the Russian name
  ra03v_host::Block upper;   // the same name in upper case
  ra03v_host::Block mixed;   // and in mixed case, which no table holds as spelt
  bool ok = true;
};

struct Case {
  const char* what;
  int calls;
  std::function<void(Context&)> call;
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"host only: build and free a get block", 20000,
       [](Context&) {
         ra03v_host::Block block;
         AddGet(block, L"КоличествоУстройств");
       }},
      {"property get DevicesQuantity (Russian name)", 20000,
       [](Context& c) {
         auto block = c.driver.GetProperty(L"КоличествоУстройств", &c.task);
         c.ok = c.ok && !block->Get()->HasError;
       }},
      {"property get, block reused", 100000,
       [](Context& c) { c.ok = c.driver.Call(c.reused, &c.task) && !c.reused->HasError && c.ok; }},
      {"property get, block reused, upper-case name", 100000,
       [](Context& c) { c.ok = c.driver.Call(c.upper, &c.task) && !c.upper->HasError && c.ok; }},
      {"property get, block reused, mixed-case name", 100000,
       [](Context& c) { c.ok = c.driver.Call(c.mixed, &c.task) && !c.mixed->HasError && c.ok; }},
      {"method ResultDescription (Russian name)", 20000,
       [](Context& c) {
         auto block = c.driver.Method(L"ОписаниеОшибки", {Value::Int(3)}, &c.task);
         c.ok = c.ok && !block->Get()->HasError;
       }},
  };
  return cases;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> dlls;
  for (int i = 1; i < argc; ++i) dlls.push_back(argv[i]);
  if (dlls.empty()) dlls.push_back(ra03v::bench::ShippingDllPath());

  // best[dll][case] in microseconds per call.
  std::vector<std::vector<double>> best(dlls.size(), std::vector<double>(Cases().size(), 1e300));
  bool ok = true;
  for (int turn = 0; turn < kTurns; ++turn)
    for (size_t d = 0; d < dlls.size(); ++d) {
      ra03v_host::Driver driver(dlls[d]);
      Context context(driver);
      AddGet(context.reused, L"КоличествоУстройств");
      AddGet(context.upper, L"КОЛИЧЕСТВОУСТРОЙСТВ");
      AddGet(context.mixed, L"кОлИчЕсТвОуСтРоЙсТв");
      for (size_t c = 0; c < Cases().size(); ++c) {
        const Case& one = Cases()[c];
        const double us = MicrosecondsPerCall(one.calls, [&] { one.call(context); });
        best[d][c] = std::min(best[d][c], us);
      }
      ok = ok && context.ok;
    }

  std::printf("microseconds per call, best of %d turns\n", kTurns);
  for (size_t d = 0; d < dlls.size(); ++d) std::printf("  [%zu] %ls\n", d, dlls[d].c_str());
  std::printf("%-46s", "");
  for (size_t d = 0; d < dlls.size(); ++d) std::printf(" %10s", ("[" + std::to_string(d) + "]").c_str());
  std::printf("\n");
  for (size_t c = 0; c < Cases().size(); ++c) {
    std::printf("%-46s", Cases()[c].what);
    for (size_t d = 0; d < dlls.size(); ++d) std::printf(" %10.2f", best[d][c]);
    std::printf("\n");
  }
  if (!ok) std::printf("a call failed\n");
  return ok ? 0 : 1;
}
