#include "ui/device_settings_dialog.h"

#include "devices/device_item.h"
#include "devices/devices_list.h"
#include "foundation/win/scope_exit.h"
#include "ui/port_settings_dialog.h"

namespace ra03v {

namespace {

// Dialogs are modal on the host's calling thread: one per thread at most.
thread_local TfmPortSettings2* t_dialog = nullptr;

int32_t ShowForDevice(TDeviceItem& device) {
  RunDeviceSettingsDialog(device, true);
  return 0;
}

}  // namespace

int RunDeviceSettingsDialog(TDeviceItem& device, bool storeOnOk) {
  TDevicesList& list = device.DeviceList();
  std::string name = device.DeviceName();
  PortSettingsDialogParams params;
  params.settings = &device.PortManager().Settings();
  params.deviceName = &name;
  params.checkPorts = device.CheckPorts();
  params.serialPortsUsable = list.UsePortProps() || list.UseFlowProps();
  params.printerPortsUsable = list.UsePrinterProp();
  params.templateBaud = list.PropTemplates().GetPropValue("Baud");
  params.uniqueDeviceName = [&list] { return list.UniqueDeviceName(""); };
  params.prepare = [&device](TfmPortSettings2& dialog) {
    t_dialog = &dialog;
    device.PrepareSettingsDialog();
  };
  ScopeExit forget([] { t_dialog = nullptr; });
  const int result = RunPortSettingsDialog(params);
  if (result == 1) {
    device.SetDeviceName(name);
    if (storeOnOk) device.StorePortSettings(nullptr);
  }
  return result;
}

TfmPortSettings2* CurrentSettingsDialog() noexcept { return t_dialog; }

void InstallDeviceSettingsDialog() noexcept { InstallSettingsDialog(&ShowForDevice); }

}  // namespace ra03v
