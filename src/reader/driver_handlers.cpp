#include "reader/driver_handlers.h"

#include <array>
#include <vector>

#include "devices/device_handlers.h"
#include "devices/device_item.h"
#include "devices/devices_list.h"
#include "devices/prop_descriptor.h"
#include "foundation/system_info.h"
#include "foundation/win/scope_exit.h"
#include "host/base_dll_obj.h"

namespace ra03v {

namespace {

template <DeviceMethodHandler Handler>
void Method(void* task, SAFEARRAY* args, VARIANT* result) {
  TBaseDllObj& driver = GetBaseDll(task);
  TDeviceItem* device = driver.GetDevice(task);
  Variant value = Handler(driver.Devices(), device, args);
  VariantClear(result);
  *result = value.Release();
}

// A property handler given no task leaves the value untouched.
template <DevicePropertyHandler Handler>
bool Property(void* task, bool isSet, VARIANT& value, const std::string&) {
  if (!task) return false;
  TBaseDllObj& driver = GetBaseDll(task);
  return Handler(driver.Devices(), driver.GetDevice(task), isSet, value);
}

bool DeviceParameter(void* task, bool isSet, VARIANT& value, const std::string& name) {
  if (!task) return false;
  TBaseDllObj& driver = GetBaseDll(task);
  return DeviceParameterProperty(driver.Devices(), driver.GetDevice(task), isSet, value, name);
}

// The third of the four numbers of this module's file version.
bool ReleaseProperty(void* task, bool isSet, VARIANT& value, const std::string&) {
  if (!task || isSet) return false;
  TBaseDllObj& driver = GetBaseDll(task);
  uint16_t release = 0;
  if (HRSRC info = FindResourceW(ThisModule(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16))) {
    if (HGLOBAL loaded = LoadResource(ThisModule(), info)) {
      const auto* data = static_cast<const BYTE*>(LockResource(loaded));
      // VS_FIXEDFILEINFO follows the "VS_VERSION_INFO" header, DWORD-aligned.
      for (DWORD i = 0; data && i + sizeof(VS_FIXEDFILEINFO) <= SizeofResource(ThisModule(), info);
           i += 4) {
        const auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(data + i);
        if (fixed->dwSignature == 0xFEEF04BD) {
          release = HIWORD(fixed->dwFileVersionLS);
          break;
        }
      }
    }
  }
  driver.SetReleaseNumber(release);
  VariantClear(&value);
  V_VT(&value) = VT_I2;
  V_I2(&value) = static_cast<SHORT>(release);
  return true;
}

// The selection method has a name pair and one argument, so that hosts can reach it.
constexpr std::array<TMethodEntry, 1> kDriverMethods = {{
    {"ВыбратьУстройство,SelectDevice", 1, &Method<SelectDeviceMethod>, 1},
}};

constexpr std::array<TMethodEntry, 14> kBuiltInMethods = {{
    {"ResultDescription,ОписаниеОшибки", 1, &Method<ResultDescriptionMethod>, 1},
    {"НастроитьУстройства,SettingDevices", 1, &Method<SettingDevicesMethod>, 1},
    {"УдалитьУстройство,DeleteDevice", 1, &Method<DeleteDeviceMethod>, 1},
    {"ДобавитьУстройствоРасш,AddDeviceEx", 1, &Method<AddDeviceExMethod>, 1},
    {"ДобавитьУстройство,AddDevice", 1, &Method<AddDeviceMethod>, 1},
    {"ИзменитьУстройствоРасш,SettingsDeviceEx", 2, &Method<SettingsDeviceExMethod>, 1},
    {"ИнформацияОПлагине,GetPlgInfo", 13, &Method<GetPlgInfoMethod>, 1},
    {"ПолучитьНастройкиXML,GetSettingsXML", 2, &Method<GetSettingsXmlMethod>, 1},
    {"Включить,SwitchOn", 1, &Method<SwitchOnMethod>, 1},
    {"Выключить,SwitchOff", 1, &Method<SwitchOffMethod>, 1},
    {"ПолучитьСвойства,GetProps", 1, &Method<GetPropsMethod>, 1},
    {"УстановитьСвойства,SetProps", 1, &Method<SetPropsMethod>, 1},
    {"СоздатьПараметры,CreateComSafeArray", 2, &Method<CreateValueArrayMethod>, 1},
    {"Гудок,Beep", 2, &Method<BeepMethod>, 1},
}};

constexpr std::array<TPropertyEntry, 7> kProperties = {{
    {"ДоступностьСтраницыСвойств", "PropertyPageEnabled", "", "", false, "", "",
     &Property<PropertyPageEnabledProperty>},
    {"НомерУстройства", "DeviceNumber", "", "", false, "", "", &Property<DeviceNumberProperty>},
    {"ИмяУстройства", "DeviceName", "", "", true, "", "", &Property<DeviceNameProperty>},
    {"КоличествоУстройств", "DevicesQuantity", "", "", true, "", "",
     &Property<DevicesQuantityProperty>},
    {"УстройствоВключено", "DeviceIsOn", "", "", false, "", "", &Property<DeviceIsOnProperty>},
    {"Результат", "Result", "", "", true, "", "", &Property<ResultProperty>},
    {"Релиз", "Release", "", "", true, "", "", &ReleaseProperty},
}};

}  // namespace

std::span<const TMethodEntry> ScannerDriverMethods() noexcept { return kDriverMethods; }
std::span<const TMethodEntry> ScannerBuiltInMethods() noexcept { return kBuiltInMethods; }
std::span<const TPropertyEntry> ScannerProperties() noexcept { return kProperties; }

std::span<const TPropertyEntry> ScannerDeviceParameters() noexcept {
  static const std::vector<TPropertyEntry> rows = [] {
    std::vector<TPropertyEntry> out;
    for (const TPropDescriptor& d : CommonPropertyDescriptors())
      out.push_back({d.Identifier, d.AltIdentifier, d.Name, d.Type, d.ReadOnly != 0, d.Default,
                     d.Description, &DeviceParameter});
    return out;
  }();
  return rows;
}

}  // namespace ra03v
