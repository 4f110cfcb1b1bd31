#pragma once
// The handlers of the driver's device methods and properties. The driver
// object binds them to names, finds the device of the call and passes the
// device list, that device (null when the call has none) and the call's
// argument array (one dimension of VARIANT) or property value.
//
// Method handlers return the call's result; out-arguments are written into the
// argument array only when the result is 0. Property handlers return false
// when the access is refused.
#include <oaidl.h>

#include <string_view>

#include "foundation/win/variant.h"

namespace ra03v {

class TDevicesList;
class TDeviceItem;

using DeviceMethodHandler = Variant (*)(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
using DevicePropertyHandler = bool (*)(TDevicesList& list, TDeviceItem* device, bool isSet,
                                       VARIANT& value);

// "Включить" / "Выключить": a non-zero device result is raised with its text;
// a call without a device is raised as result 3.
Variant SwitchOnMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
Variant SwitchOffMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "ПолучитьСвойства": out Table.
Variant GetPropsMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "УстановитьСвойства": Table.
Variant SetPropsMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "ОписаниеОшибки": Code; the result is the text.
Variant ResultDescriptionMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "НастроитьУстройства": Document.
Variant SettingDevicesMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "ДобавитьУстройство": in/out Text.
Variant AddDeviceMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "ДобавитьУстройствоРасш": out Text.
Variant AddDeviceExMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "ИзменитьУстройствоРасш": in/out Code, out Text.
Variant SettingsDeviceExMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "ПолучитьНастройкиXML": Key, out Text.
Variant GetSettingsXmlMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "УдалитьУстройство": does nothing; the result stays empty.
Variant DeleteDeviceMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "ИнформацияОПлагине": arguments 0 to 11 written.
Variant GetPlgInfoMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "СоздатьПараметры": Rows, Columns; the result is a new value array object.
Variant CreateValueArrayMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// "Гудок": Frequency, Duration.
Variant BeepMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);
// Selects the current device by number or by name (the reader driver's own method).
Variant SelectDeviceMethod(TDevicesList& list, TDeviceItem* device, SAFEARRAY* args);

bool PropertyPageEnabledProperty(TDevicesList& list, TDeviceItem* device, bool isSet,
                                 VARIANT& value);
bool DeviceNumberProperty(TDevicesList& list, TDeviceItem* device, bool isSet, VARIANT& value);
bool DeviceNameProperty(TDevicesList& list, TDeviceItem* device, bool isSet, VARIANT& value);
bool DevicesQuantityProperty(TDevicesList& list, TDeviceItem* device, bool isSet, VARIANT& value);
bool DeviceIsOnProperty(TDevicesList& list, TDeviceItem* device, bool isSet, VARIANT& value);
bool ResultProperty(TDevicesList& list, TDeviceItem* device, bool isSet, VARIANT& value);
// A device parameter by name: read converted by its type, written as text.
bool DeviceParameterProperty(TDevicesList& list, TDeviceItem* device, bool isSet, VARIANT& value,
                             std::string_view name);

}  // namespace ra03v
