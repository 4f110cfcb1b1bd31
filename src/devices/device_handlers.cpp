#include "devices/device_handlers.h"

#include <windows.h>

#include <cmath>
#include <string>

#include "devices/devices_list.h"
#include "devices/prop_values.h"
#include "devices/value_array_access.h"
#include "foundation/error_codes.h"
#include "foundation/protect_exception.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/variant_utils.h"
#include "foundation/win/scope_exit.h"
#include "host/class_factory.h"

namespace ra03v {

namespace {

// The call's arguments: element i of a one-dimensional VARIANT array.
class CallArgs {
 public:
  CallArgs(SAFEARRAY* args, LONG needed) : args_(args) {
    LONG upper = -1;
    if (!args || SafeArrayGetDim(args) != 1 || FAILED(SafeArrayGetLBound(args, 1, &lower_)) ||
        FAILED(SafeArrayGetUBound(args, 1, &upper)) || upper - lower_ + 1 < needed)
      RaiseText("Недостаточно параметров при вызове метода");
  }
  // A copy, dereferenced.
  Variant Get(LONG i) const {
    Variant element;
    LONG index = lower_ + i;
    CheckHResult(SafeArrayGetElement(args_, &index, element.Put()), "SafeArrayGetElement");
    return Variant::Copy(element.Get());
  }
  void Set(LONG i, const Variant& value) const {
    LONG index = lower_ + i;
    CheckHResult(SafeArrayPutElement(args_, &index, const_cast<VARIANT*>(&value.Get())),
                 "SafeArrayPutElement");
  }

 private:
  SAFEARRAY* args_;
  LONG lower_ = 0;
};

bool IsIntegerKind(const VARIANT& v) {
  return VariantKindIn(
      v, {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT, VT_UINT});
}
bool IsNumberKind(const VARIANT& v) { return IsIntegerKind(v) || VariantKindIn(v, {VT_R4, VT_R8}); }
bool IsTextKind(const VARIANT& v) { return VariantKind(v) == VT_BSTR; }
bool IsObjectKind(const VARIANT& v) { return VariantKindIn(v, {VT_DISPATCH, VT_UNKNOWN}); }

Variant Code(int32_t code) { return Variant::FromInt(code); }

void SetValue(VARIANT& target, Variant value) {
  VariantClear(&target);
  target = value.Release();
}

Variant SwitchDevice(TDevicesList& list, TDeviceItem* device, int32_t mode) {
  if (!device)
    throw EHardwareEquipmentException(kResultNoDevice, list.GetErrorText(kResultNoDevice));
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = mode;
  DeviceIsOnProperty(list, device, true, value);
  const int32_t result = device->LastResult();
  if (result != kResultOk) throw EHardwareEquipmentException(result, list.GetErrorText(result));
  return Code(result);
}

// Devices a call from another thread created last only for that call, also
// when the call fails.
auto RemoveThreadDevicesAtEnd(TDevicesList& list) {
  return ScopeExit([&list]() noexcept {
    try {
      list.RemoveThreadDevices();
    } catch (...) {
    }
  });
}

}  // namespace

Variant SwitchOnMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY*) {
  return SwitchDevice(list, device, 1);
}

Variant SwitchOffMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY*) {
  return SwitchDevice(list, device, 0);
}

Variant GetPropsMethod(TDevicesList&, TDeviceItem* device, SAFEARRAY* args) {
  const CallArgs a(args, 1);
  if (!device) return Code(kResultNoDevice);
  Variant table;
  const int32_t result = device->GetPropsTable(table);
  if (result == kResultOk) a.Set(0, table);
  return Code(result);
}

Variant SetPropsMethod(TDevicesList&, TDeviceItem* device, SAFEARRAY* args) {
  const CallArgs a(args, 1);
  if (!device) return Code(kResultNoDevice);
  return Code(device->SetPropsTable(a.Get(0).Get()));
}

Variant ResultDescriptionMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args) {
  const CallArgs a(args, 1);
  const Variant code = a.Get(0);
  if (!IsNumberKind(code.Get())) return Code(kResultWrongType);
  // A single or double must stand for a 32-bit number: NaN, the infinities
  // and anything out of range are no error code at all.
  const VARTYPE stored = V_VT(&code.Get()) & ~VT_BYREF;
  if (stored == VT_R4 || stored == VT_R8) {
    const double value = code.ToDouble();
    if (!std::isfinite(value) || value < -2147483648.5 || value >= 2147483647.5)
      return Code(kResultWrongType);
  }
  const int32_t number = code.ToInt();
  return Variant::From1251(device ? device->GetErrorText(number) : list.GetErrorText(number));
}

Variant SettingDevicesMethod(TDevicesList& list, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 1);
  const Variant document = a.Get(0);
  if (!IsTextKind(document.Get()) && !IsObjectKind(document.Get())) return Code(kResultWrongType);
  const auto cleanup = RemoveThreadDevicesAtEnd(list);
  return Code(list.LoadDevices(document.Get()));
}

Variant AddDeviceMethod(TDevicesList& list, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 1);
  const Variant in = a.Get(0);
  const VARTYPE kind = VariantKind(in.Get());
  if (kind != VT_BSTR && kind != VT_EMPTY && kind != VT_NULL) return Code(kResultWrongType);
  std::string text = kind == VT_BSTR ? DocumentTextTo1251(in.ToText()) : std::string();
  const auto cleanup = RemoveThreadDevicesAtEnd(list);
  const int32_t result = list.AddDevice(text, false);
  if (result == kResultOk) a.Set(0, Variant::From1251(text));
  return Code(result);
}

Variant AddDeviceExMethod(TDevicesList& list, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 1);
  std::string text;
  const auto cleanup = RemoveThreadDevicesAtEnd(list);
  const int32_t result = list.AddDevice(text, true);
  if (result == kResultOk) a.Set(0, Variant::From1251(text));
  return Code(result);
}

Variant SettingsDeviceExMethod(TDevicesList& list, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 2);
  const Variant code = a.Get(0);
  if (!IsTextKind(code.Get())) return Code(kResultWrongType);
  const GUID id = TextToGuid(code.To1251());
  const auto cleanup = RemoveThreadDevicesAtEnd(list);
  const int32_t result = list.ConfigureDevice(id);
  std::string text;
  const int32_t found = list.GetSettingsXML(code.Get(), text);
  if (result == kResultOk && found == kResultOk) a.Set(1, Variant::From1251(text));
  return Code(result);
}

Variant GetSettingsXmlMethod(TDevicesList& list, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 2);
  const Variant key = a.Get(0);
  if (!IsIntegerKind(key.Get()) && !IsTextKind(key.Get())) return Code(kResultWrongType);
  std::string text;
  const int32_t result = list.GetSettingsXML(key.Get(), text);
  if (result == kResultOk) a.Set(1, Variant::From1251(text));
  return Code(result);
}

Variant DeleteDeviceMethod(TDevicesList&, TDeviceItem*, SAFEARRAY*) { return Variant(); }

Variant GetPlgInfoMethod(TDevicesList& list, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 12);
  const Variant catalog = a.Get(7);
  if (IsTextKind(catalog.Get()) || IsObjectKind(catalog.Get()))
    list.LoadModelCatalog(catalog.Get());
  a.Set(0, Variant::From1251(GuidToText(list.ModelCode())));
  a.Set(1, Variant::From1251(list.ModelDescription()));
  for (LONG i = 0; i < 5; ++i) a.Set(2 + i, Variant::FromInt(list.PlgInfoValues()[i]));
  a.Set(7, Variant::From1251(list.ParametersXML()));
  a.Set(8, Variant::From1251(list.ModelIdentifier()));
  a.Set(9, Variant::From1251(list.ClassName()));
  a.Set(10, Variant::From1251(list.ClassGroupName()));
  VARIANT address;
  VariantInit(&address);
#if defined(_WIN64)
  V_VT(&address) = VT_I8;
  V_I8(&address) = reinterpret_cast<LONGLONG>(&list);
#else
  V_VT(&address) = VT_I4;
  V_I4(&address) = static_cast<LONG>(reinterpret_cast<intptr_t>(&list));
#endif
  Variant value;
  value.Reset(address);
  a.Set(11, value);
  return Code(kResultOk);
}

Variant CreateValueArrayMethod(TDevicesList&, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 2);
  const auto count = [&a](LONG i) {
    const Variant v = a.Get(i);
    return IsNumberKind(v.Get()) ? v.ToInt() : 0;
  };
  const int32_t rows = count(0);
  const int32_t columns = count(1);
  ComPtr<ISafeArray> table = CreateValueArray();
  CheckArrayCall(table->SetBounds(rows, columns), "SetBounds");
  return ValueArrayValue(std::move(table));
}

Variant BeepMethod(TDevicesList&, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 2);
  const Variant frequency = a.Get(0);
  const Variant duration = a.Get(1);
  if (!IsIntegerKind(frequency.Get()) || !IsIntegerKind(duration.Get()))
    return Code(kResultWrongType);
  ::Beep(static_cast<DWORD>(frequency.ToInt()), static_cast<DWORD>(duration.ToInt()));
  return Code(kResultOk);
}

Variant SelectDeviceMethod(TDevicesList& list, TDeviceItem*, SAFEARRAY* args) {
  const CallArgs a(args, 1);
  const Variant which = a.Get(0);
  TDeviceItem* selected = nullptr;
  if (IsIntegerKind(which.Get())) {
    const int32_t number = which.ToInt();
    if (number >= 1 && number <= list.Count()) {
      list.SetCurrentDevice(number);
      selected = &list.DeviceAt(number - 1);
    }
  } else if (IsTextKind(which.Get())) {
    selected = list.FindByNameIgnoringCase(which.To1251());
    if (selected) list.SetCurrentDevice(selected->Index() + 1);
  }
  if (!selected) return Code(kResultNoDevice);
  selected->SetLastResult(kResultOk);
  return Code(kResultOk);
}

bool PropertyPageEnabledProperty(TDevicesList& list, TDeviceItem*, bool isSet, VARIANT& value) {
  if (isSet)
    list.SetPropertyPageEnabled(Variant::Copy(value).ToInt());
  else
    SetValue(value, Variant::FromInt(list.PropertyPageEnabled()));
  return true;
}

bool DeviceNumberProperty(TDevicesList& list, TDeviceItem*, bool isSet, VARIANT& value) {
  if (isSet)
    list.SetCurrentDevice(Variant::Copy(value).ToInt());
  else
    SetValue(value, Variant::FromInt(list.CurrentDevice()));
  return true;
}

bool DeviceNameProperty(TDevicesList& list, TDeviceItem*, bool isSet, VARIANT& value) {
  if (isSet) return false;
  SetValue(value, Variant::From1251(list.CurrentDeviceName()));
  return true;
}

bool DevicesQuantityProperty(TDevicesList& list, TDeviceItem*, bool isSet, VARIANT& value) {
  if (isSet) return false;
  SetValue(value, Variant::FromInt(list.Count()));
  return true;
}

bool DeviceIsOnProperty(TDevicesList&, TDeviceItem* device, bool isSet, VARIANT& value) {
  if (!device) return false;
  device->SetLastResult(kResultOk);
  if (!isSet) {
    SetValue(value, Variant::FromInt(device->GetActive()));
    return true;
  }
  const int32_t mode = Variant::Copy(value).ToInt();
  if (device->HostEventSink())
    device->SetDeviceActive(mode != 0 ? 1 : 0);
  else
    device->SetDeviceActive(mode);
  return true;
}

bool ResultProperty(TDevicesList&, TDeviceItem* device, bool isSet, VARIANT& value) {
  if (isSet) return false;
  SetValue(value, Variant::FromInt(device ? device->ReportedResult() : kResultNoDevice));
  return true;
}

bool DeviceParameterProperty(TDevicesList& list, TDeviceItem* device, bool isSet, VARIANT& value,
                             std::string_view name) {
  // A parameter of no device is refused as "Результат" reports it: result 3.
  if (!device)
    throw EHardwareEquipmentException(kResultNoDevice, list.GetErrorText(kResultNoDevice));
  if (isSet) {
    device->SetProperty(name, ValueText(value));
    return true;
  }
  if (const TPropItem* item = device->Props().Find(name))
    SetValue(value, PropertyValueAsVariant(item->Type(), item->Value()));
  else
    SetValue(value, Variant::From1251(device->GetProperty(name)));
  return true;
}

}  // namespace ra03v
