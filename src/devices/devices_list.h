#pragma once
// The driver's devices and what they share: the model's identity and texts,
// the property templates of new devices and, when loaded, the model catalog.
//
// Threads: the driver object serialises calls into the list; devices created
// by a call from another thread than the list's creator live only for that call.
#include <windows.h>
#include <oaidl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "devices/device_item.h"
#include "devices/generated_names.h"
#include "devices/model_list.h"
#include "devices/prop_list.h"
#include "foundation/root_objects.h"
#include "foundation/win/com_ptr.h"
#include "foundation/win/variant.h"

namespace ra03v {

class TDevicesList : public TRootCollection {
 public:
  // Makes a device of the list's item class; the list appends it.
  using DeviceFactory = std::function<std::unique_ptr<TDeviceItem>(TDevicesList&)>;

  // Without a factory the list makes plain TDeviceItem devices.
  explicit TDevicesList(DeviceFactory factory = {});
  ~TDevicesList() override;

  // 0-based; raises 20002 outside the list.
  virtual TDeviceItem& DeviceAt(int index) const;
  virtual void SetCurrentDevice(int32_t number) { FCurrentDevice = number; }
  virtual std::string GetErrorText(int32_t code);
  virtual void CustomListOperation(int32_t /*value*/) {}
  virtual void AddPropertyDescriptors(std::span<const TPropDescriptor> rows);
  // The list has become empty (thread devices removed, or cleared).
  virtual void ListEmptied() {}

  // A new device appended at the end.
  TDeviceItem& AppendDevice();
  int32_t AddDevice(std::string& text, bool withDialog);
  int32_t ConfigureDevice(const GUID& code);
  bool DeviceExists(const GUID& code) const { return FindByCode(code) != nullptr; }
  TDeviceItem* FindByCode(const GUID& code) const;
  // Latin letters fold to capitals, every other character must match exactly.
  TDeviceItem* FindByName(std::string_view name) const;
  // First device whose name equals name ignoring the case of every letter.
  TDeviceItem* FindByNameIgnoringCase(std::string_view name) const;
  std::string CurrentDeviceName() const;

  int32_t GetSettingsXML(const VARIANT& key, std::string& xml);
  int32_t LoadDevices(const VARIANT& document);
  std::string ParametersXML() const;
  void LoadModelDescription(std::string& text);
  void LoadModelCatalog(const VARIANT& document);
  void SetPropertyDefault(std::string_view name, std::string_view value, bool readOnly);
  std::string UniqueDeviceName(std::string_view exclude) const;
  void SwitchOffAll();
  void RemoveThreadDevices();
  // Every device out of the list at once, each then destroyed or, where that
  // cannot happen on this thread now, silenced and parked (DisposeDevice).
  // With parkOnly nothing is destroyed or closed here: the caller is a call
  // admitted while another thread's call waits for it, which may be using
  // any device.
  void ClearDevices(bool parkOnly = false);
  // Removes the device at index and disposes of it.
  void DeleteDevice(int index);
  // Frees a device that is no longer in the list. Called on the device's
  // own port event thread (from inside the host's event handler) it closes
  // the port at once and the device is destroyed by that thread once the
  // handler has returned; while its owner thread is inside its poll it is
  // silenced and destroyed by a later call (ReapParkedDevices).
  void DisposeDevice(std::unique_ptr<TDeviceItem> device, bool parkOnly = false);
  // Destroys the parked devices that may go now; with all, every one (the
  // list's end).
  void ReapParkedDevices(bool all = false);
  void SetNamePrefix(std::string_view text) { FNamePrefix.assign(text); }

  // The host's event interface; devices created afterwards keep a copy.
  void SetEventSink(IDispatch* sink) { FEventSink = ComPtr<IDispatch>::Copy(sink); }
  IDispatch* EventSink() const noexcept { return FEventSink.Get(); }

  int32_t CurrentDevice() const noexcept { return FCurrentDevice; }
  int32_t PropertyPageEnabled() const noexcept { return FPropertyPageEnabled; }
  void SetPropertyPageEnabled(int32_t value) noexcept { FPropertyPageEnabled = value; }
  const std::string& NamePrefix() const noexcept { return FNamePrefix; }
  const GUID& ModelCode() const noexcept { return FModelCode; }
  void SetModelCode(const GUID& code) noexcept { FModelCode = code; }
  const std::string& ModelDescription() const noexcept { return FModelDescription; }
  void SetModelDescription(std::string_view text) { FModelDescription.assign(text); }
  std::array<int32_t, 5>& PlgInfoValues() noexcept { return FPlgInfoValues; }
  const std::string& ModelIdentifier() const noexcept { return FModelIdentifier; }
  void SetModelIdentifier(std::string_view text) { FModelIdentifier.assign(text); }
  const std::string& ClassName() const noexcept { return FClassName; }
  void SetClassName(std::string_view text) { FClassName.assign(text); }
  const std::string& ClassGroupName() const noexcept { return FClassGroupName; }
  void SetClassGroupName(std::string_view text) { FClassGroupName.assign(text); }
  bool UsePortProps() const noexcept { return FUsePortProps; }
  bool UseFlowProps() const noexcept { return FUseFlowProps; }
  bool UsePrinterProp() const noexcept { return FUsePrinterProp; }
  void SetPropertyGroups(bool port, bool flow, bool printer) noexcept {
    FUsePortProps = port;
    FUseFlowProps = flow;
    FUsePrinterProp = printer;
  }
  const TPropList& PropTemplates() const noexcept { return FPropTemplates; }
  TModelList* Models() const noexcept { return FModels.get(); }
  const std::string& LastDocument() const noexcept { return FLastDocument; }
  DWORD OwnerThreadId() const noexcept { return FOwnerThreadId; }

 private:
  DeviceFactory factory_;
  ComPtr<IDispatch> FEventSink;
  int32_t FCurrentDevice = 0;
  int32_t FPropertyPageEnabled = 0;
  std::string FNamePrefix;
  GUID FModelCode{};
  std::string FModelDescription;
  std::array<int32_t, 5> FPlgInfoValues{};
  std::string FModelIdentifier;
  std::string FClassName;
  std::string FClassGroupName;
  bool FUsePortProps = false;
  bool FUseFlowProps = false;
  bool FUsePrinterProp = false;
  TPropList FPropTemplates;
  std::unique_ptr<TModelList> FModels;
  std::string FLastDocument;
  DWORD FOwnerThreadId = 0;
  // Memo of sort keys behind UniqueDeviceName, which stays const for callers.
  mutable GeneratedNames generatedNames_;
  // Devices out of the list, silenced, waiting to be destroyed.
  std::mutex parkedLock_;
  std::vector<std::unique_ptr<TDeviceItem>> parked_;
};

// This library's file name and extension, without the folder.
std::string LibraryFileName();

}  // namespace ra03v
