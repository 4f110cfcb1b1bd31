// The test host's event sink answers the two slots of the contract exactly
// where the driver calls them, from any thread.
#include <gtest/gtest.h>

#include <thread>

#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

void* Slot(IDispatch* sink, int index) { return (*reinterpret_cast<void***>(sink))[index]; }

TEST(EventSink, ExternalEventSlotRecordsTheEventAndItsThread) {
  ra03v_host::EventSink sink;
  IDispatch* object = sink.Interface();
  const GUID id = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  DWORD raisingThread = 0;
  std::thread raiser([&] {
    raisingThread = GetCurrentThreadId();
    BSTR name = SysAllocString(L"Считыватель");
    BSTR text = SysAllocString(L"{00000001-0002-0003-0405-060708090A0B}");
    BSTR data = SysAllocString(L"12345678");
    auto raise =
        reinterpret_cast<RA03V_EXTERNAL_EVENT>(Slot(object, RA03V_EVENT_SLOT_EXTERNAL_EVENT));
    EXPECT_EQ(S_OK, raise(object, name, text, data, &id));
    SysFreeString(name);
    SysFreeString(text);
    SysFreeString(data);
  });
  raiser.join();
  ASSERT_TRUE(sink.WaitForEvents(1, 1000));
  const ra03v_host::ExternalEvent event = sink.Events().at(0);
  EXPECT_EQ(L"Считыватель", event.name);
  EXPECT_EQ(L"12345678", event.data);
  EXPECT_EQ(L"{00000001-0002-0003-0405-060708090A0B}", event.deviceIdText);
  EXPECT_TRUE(IsEqualGUID(id, event.deviceId));
  EXPECT_EQ(raisingThread, event.threadId);
  EXPECT_FALSE(sink.WaitForEvents(2, 50));
}

TEST(EventSink, ValueArraySlotUsesTheFactoryAndCountsReferences) {
  ra03v_host::EventSink sink;
  IDispatch* object = sink.Interface();
  auto create =
      reinterpret_cast<RA03V_CREATE_VALUE_ARRAY>(Slot(object, RA03V_EVENT_SLOT_CREATE_VALUE_ARRAY));
  VARIANT out;
  VariantInit(&out);
  EXPECT_EQ(E_NOTIMPL, create(object, &out));
  sink.SetValueArrayFactory([](VARIANT* v) {
    V_VT(v) = VT_I4;
    V_I4(v) = 99;
    return S_OK;
  });
  EXPECT_EQ(S_OK, create(object, &out));
  EXPECT_EQ(99, V_I4(&out));

  const LONG before = sink.References();
  object->AddRef();
  IDispatch* asDispatch = nullptr;
  EXPECT_EQ(S_OK, object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&asDispatch)));
  EXPECT_EQ(before + 2, sink.References());
  asDispatch->Release();
  object->Release();
  EXPECT_EQ(before, sink.References());
}

}  // namespace
}  // namespace ra03v::test
