// A host that loads the library, reads cards, frees everything and unloads,
// then does it all again in the same process: nothing of the first load may
// linger (window classes, timers, threads, the module itself) to trip up the
// second one.
//
// Two rounds, not more: under Wine 8 a third load of any library with a TLS
// directory after overlapped WaitCommEvent calls crashes inside Wine's loader
// (its serial wait helper threads leave stale entries in the loader's thread
// list); a program that only waits on a port and loads an empty DLL shows it.
// The second load itself has twice spun in that loader with many Wine programs
// running beside it, so CTest runs this program alone.
#include <gtest/gtest.h>

#include <string>

#include "support/dll_under_test.h"
#include "support/sim_client.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

constexpr int kPort = 15;

TEST(ReaderReload, LoadReadFreeUnloadTwice) {
  SimClient sim;
  ASSERT_TRUE(sim.Connected());
  sim.CreatePort(kPort);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ra03v_host::EventSink sink;
    {
      DllUnderTest dll(L"ra03v.dll");
      ASSERT_FALSE(dll.Control("__@@EventSupport", sink.Interface())->Get()->HasError);
      GUID code;
      CoCreateGuid(&code);
      const std::wstring document = ra03v_host::EquipmentDocument(
          ra03v_host::ReaderDeviceElement(code, L"Считыватель", kPort));
      HostTask task(RA03V_TASK_CLASS_THREAD);
      task.SetDevice(code);
      auto configured = dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task);
      ASSERT_FALSE(configured->Get()->HasError) << configured->ErrorDescription();
      auto on = dll.Method(L"Включить", {Value()}, &task);
      ASSERT_FALSE(on->Get()->HasError) << on->ErrorDescription();
      sim.Command("card " + std::to_string(kPort) + " 0000000" + std::to_string(round) + " 1");
      ASSERT_TRUE(sink.WaitForEvents(1, 10000));
      EXPECT_EQ(L"0000000" + std::to_wstring(round), sink.Events()[0].data);
      // Switched off by the host in one round, left to __FRee in the next.
      if (round % 2) {
        EXPECT_FALSE(dll.Method(L"Выключить", {Value()}, &task)->Get()->HasError);
      }
      dll.Control("__FRee");
    }
    // Messages left for windows of the unloaded library must not reach freed code.
    ra03v_host::PumpFor(700);
    EXPECT_EQ(nullptr, GetModuleHandleW(BesideTestProgram(L"ra03v.dll").c_str()))
        << "the library stayed loaded";
    sim.Received(kPort);
  }
}

}  // namespace
}  // namespace ra03v::test
