#pragma once
// The connection settings dialog of one device: the base behaviour of a
// device's ShowSettingsDialog, and the dialog reference that a device's
// PrepareSettingsDialog adjusts between creation and showing.
#include <cstdint>

namespace ra03v {

class TDeviceItem;
class TfmPortSettings2;

// Shows the dialog for device (its port manager's settings record, its name)
// and returns the modal result: 1 OK, 2 Cancel. With storeOnOk, OK also writes
// the record back into the device's properties.
int RunDeviceSettingsDialog(TDeviceItem& device, bool storeOnOk);

// The dialog being prepared or shown on this thread, or null.
TfmPortSettings2* CurrentSettingsDialog() noexcept;

// Makes the dialog the base behaviour of every device's ShowSettingsDialog.
void InstallDeviceSettingsDialog() noexcept;

}  // namespace ra03v
