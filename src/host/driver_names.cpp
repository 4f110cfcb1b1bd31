#include "host/driver_names.h"

#include "devices/text_compare.h"
#include "foundation/text_codec.h"
#include "host/base_dll_obj.h"

namespace ra03v {

namespace {

constexpr IID kIidDriverNames = RA03V_IID_DRIVER_NAMES_INIT;

bool NamesProperty(TBaseDllObj& o, std::string_view n) { return o.FindPropertyIndex(n) >= 0; }
bool NamesMethod(TBaseDllObj& o, std::string_view n) { return o.FindMethodIndex(n) >= 0; }
bool NamesBuiltIn(TBaseDllObj& o, std::string_view n) { return o.IsBuiltInMethod(n); }
bool NamesSwitchOn(TBaseDllObj&, std::string_view n) {
  return SameText(n, "Включить") || SameText(n, "SwitchOn");
}
bool NamesSwitchOff(TBaseDllObj&, std::string_view n) {
  return SameText(n, "Выключить") || SameText(n, "SwitchOff");
}

}  // namespace

const RA03V_DRIVER_NAMES_VTBL DriverNames::kVtbl = {
    &DriverNames::QueryInterface, &DriverNames::AddRef,      &DriverNames::Release,
    &DriverNames::IsProperty,     &DriverNames::IsMethod,    &DriverNames::IsBuiltInMethod,
    &DriverNames::IsSwitchOn,     &DriverNames::IsSwitchOff,
};

DriverNames::DriverNames(TBaseDllObj& owner) noexcept : object_{&kVtbl, this}, owner_(owner) {}

DriverNames& DriverNames::From(RA03V_DRIVER_NAMES* p) noexcept {
  return *reinterpret_cast<Object*>(p)->self;
}

HRESULT __stdcall DriverNames::QueryInterface(RA03V_DRIVER_NAMES* p, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidDriverNames)) {
    *object = p;
    AddRef(p);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG __stdcall DriverNames::AddRef(RA03V_DRIVER_NAMES* p) {
  return static_cast<ULONG>(++From(p).references_);
}

ULONG __stdcall DriverNames::Release(RA03V_DRIVER_NAMES* p) {
  return static_cast<ULONG>(--From(p).references_);
}

uint8_t DriverNames::Answer(RA03V_DRIVER_NAMES* p, BSTR name,
                            bool (*test)(TBaseDllObj&, std::string_view)) noexcept {
  try {
    const std::string text = WideTo1251(std::wstring_view(name ? name : L"", SysStringLen(name)));
    return test(From(p).owner_, text) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

uint8_t __stdcall DriverNames::IsProperty(RA03V_DRIVER_NAMES* p, BSTR name) {
  return Answer(p, name, &NamesProperty);
}
uint8_t __stdcall DriverNames::IsMethod(RA03V_DRIVER_NAMES* p, BSTR name) {
  return Answer(p, name, &NamesMethod);
}
uint8_t __stdcall DriverNames::IsBuiltInMethod(RA03V_DRIVER_NAMES* p, BSTR name) {
  return Answer(p, name, &NamesBuiltIn);
}
uint8_t __stdcall DriverNames::IsSwitchOn(RA03V_DRIVER_NAMES* p, BSTR name) {
  return Answer(p, name, &NamesSwitchOn);
}
uint8_t __stdcall DriverNames::IsSwitchOff(RA03V_DRIVER_NAMES* p, BSTR name) {
  return Answer(p, name, &NamesSwitchOff);
}

}  // namespace ra03v
