#pragma once
// The names interface handed to the host with "__@@EventSupport". Its
// reference count is that of the driver object; the host never destroys the
// driver through it.
#include <atomic>
#include <functional>
#include <string_view>

#include "ra03v/host_contract.h"

namespace ra03v {

class TBaseDllObj;

class DriverNames {
 public:
  explicit DriverNames(TBaseDllObj& owner) noexcept;
  DriverNames(const DriverNames&) = delete;
  DriverNames& operator=(const DriverNames&) = delete;

  // The interface pointer (an IUnknown as well).
  IUnknown* Interface() noexcept { return reinterpret_cast<IUnknown*>(&object_); }
  long References() const noexcept { return references_; }

 private:
  struct Object {
    const RA03V_DRIVER_NAMES_VTBL* lpVtbl;
    DriverNames* self;
  };
  static DriverNames& From(RA03V_DRIVER_NAMES* p) noexcept;
  static HRESULT __stdcall QueryInterface(RA03V_DRIVER_NAMES* p, REFIID iid, void** object);
  static ULONG __stdcall AddRef(RA03V_DRIVER_NAMES* p);
  static ULONG __stdcall Release(RA03V_DRIVER_NAMES* p);
  static uint8_t __stdcall IsProperty(RA03V_DRIVER_NAMES* p, BSTR name);
  static uint8_t __stdcall IsMethod(RA03V_DRIVER_NAMES* p, BSTR name);
  static uint8_t __stdcall IsBuiltInMethod(RA03V_DRIVER_NAMES* p, BSTR name);
  static uint8_t __stdcall IsSwitchOn(RA03V_DRIVER_NAMES* p, BSTR name);
  static uint8_t __stdcall IsSwitchOff(RA03V_DRIVER_NAMES* p, BSTR name);
  static uint8_t Answer(RA03V_DRIVER_NAMES* p, BSTR name,
                        bool (*test)(TBaseDllObj&, std::string_view)) noexcept;
  static const RA03V_DRIVER_NAMES_VTBL kVtbl;

  Object object_;
  TBaseDllObj& owner_;
  std::atomic<long> references_{0};
};

}  // namespace ra03v
