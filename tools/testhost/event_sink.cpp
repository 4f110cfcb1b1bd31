#include <atomic>
#include <condition_variable>

#include "test_host.h"

namespace ra03v_host {

namespace {

constexpr int kSlotCount = 24;

}  // namespace

// The COM object the driver sees: a vtable pointer first, as COM requires.
struct EventSink::Impl {
  const void* const* vtable;
  std::atomic<LONG> references{1};
  mutable std::mutex lock;
  std::vector<ExternalEvent> events;
  EventHandler handler;
  ValueArrayFactory factory;

  static Impl* Self(void* p) { return static_cast<Impl*>(p); }

  static HRESULT __stdcall QueryInterface(void* self, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = self;
      AddRef(self);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  static ULONG __stdcall AddRef(void* self) { return ++Self(self)->references; }
  // The sink lives as long as its EventSink owner; the count only tells tests
  // whether the driver released what it took.
  static ULONG __stdcall Release(void* self) { return --Self(self)->references; }
  static HRESULT __stdcall GetTypeInfoCount(void*, UINT* count) {
    if (count) *count = 0;
    return S_OK;
  }
  static HRESULT __stdcall GetTypeInfo(void*, UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
  static HRESULT __stdcall GetIDsOfNames(void*, REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
  }
  static HRESULT __stdcall Invoke(void*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                  EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
  }
  static HRESULT __stdcall ExternalEventSlot(void* self, BSTR name, BSTR deviceIdText, BSTR data,
                                             const GUID* deviceId) {
    Impl* impl = Self(self);
    ExternalEvent event;
    event.name.assign(name ? name : L"", SysStringLen(name));
    event.deviceIdText.assign(deviceIdText ? deviceIdText : L"", SysStringLen(deviceIdText));
    event.data.assign(data ? data : L"", SysStringLen(data));
    if (deviceId) event.deviceId = *deviceId;
    event.threadId = GetCurrentThreadId();
    EventHandler handler;
    {
      std::lock_guard<std::mutex> guard(impl->lock);
      impl->events.push_back(event);
      handler = impl->handler;
    }
    if (handler) handler(event);
    return S_OK;
  }
  static HRESULT __stdcall HostSlot(void*) { return E_NOTIMPL; }
  static HRESULT __stdcall CreateValueArraySlot(void* self, VARIANT* out) {
    Impl* impl = Self(self);
    ValueArrayFactory factory;
    {
      std::lock_guard<std::mutex> guard(impl->lock);
      factory = impl->factory;
    }
    if (!out) return E_POINTER;
    return factory ? factory(out) : E_NOTIMPL;
  }

  static const void* const* VTable() {
    static const void* table[kSlotCount] = {};
    if (!table[0]) {
      table[0] = reinterpret_cast<const void*>(&QueryInterface);
      table[1] = reinterpret_cast<const void*>(&AddRef);
      table[2] = reinterpret_cast<const void*>(&Release);
      table[3] = reinterpret_cast<const void*>(&GetTypeInfoCount);
      table[4] = reinterpret_cast<const void*>(&GetTypeInfo);
      table[5] = reinterpret_cast<const void*>(&GetIDsOfNames);
      table[6] = reinterpret_cast<const void*>(&Invoke);
      table[RA03V_EVENT_SLOT_EXTERNAL_EVENT] = reinterpret_cast<const void*>(&ExternalEventSlot);
      for (int i = RA03V_EVENT_SLOT_EXTERNAL_EVENT + 1; i < RA03V_EVENT_SLOT_CREATE_VALUE_ARRAY;
           ++i)
        table[i] = reinterpret_cast<const void*>(&HostSlot);
      table[RA03V_EVENT_SLOT_CREATE_VALUE_ARRAY] =
          reinterpret_cast<const void*>(&CreateValueArraySlot);
    }
    return table;
  }
};

EventSink::EventSink() : impl_(std::make_unique<Impl>()) { impl_->vtable = Impl::VTable(); }

EventSink::~EventSink() = default;

IDispatch* EventSink::Interface() noexcept { return reinterpret_cast<IDispatch*>(impl_.get()); }

void EventSink::SetEventHandler(EventHandler handler) {
  std::lock_guard<std::mutex> guard(impl_->lock);
  impl_->handler = std::move(handler);
}

void EventSink::SetValueArrayFactory(ValueArrayFactory factory) {
  std::lock_guard<std::mutex> guard(impl_->lock);
  impl_->factory = std::move(factory);
}

std::vector<ExternalEvent> EventSink::Events() const {
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->events;
}

size_t EventSink::EventCount() const {
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->events.size();
}

LONG EventSink::References() const noexcept { return impl_->references; }

bool EventSink::WaitForEvents(size_t count, DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  while (EventCount() < count) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    // Events come from another thread; short sleeps between message checks
    // keep the host thread's timers running without spinning.
    PumpFor(std::min<DWORD>(20, timeoutMs - elapsed));
  }
  return true;
}

}  // namespace ra03v_host
