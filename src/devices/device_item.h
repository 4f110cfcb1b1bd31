#pragma once
// One configured piece of equipment: its identity, property set, port manager
// and the result code of its last operation. Model units derive from it and
// override the virtual operations.
//
// Threads: every operation runs on a host calling thread (the driver object
// serialises them), except LineReceived, AbortRequested and the readers of
// DeviceCode, LastResult and HostEventSink, which the port manager's event
// thread or waiting loop may call at the same time.
#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "devices/name_value_list.h"
#include "devices/prop_list.h"
#include "foundation/root_objects.h"
#include "foundation/win/com_ptr.h"
#include "foundation/win/event.h"
#include "foundation/win/variant.h"
#include "portmanager/port_manager.h"

namespace ra03v {

class TDevicesList;
class XmlNode;

// Result codes shared by the device framework.
inline constexpr int32_t kResultOk = 0;
inline constexpr int32_t kResultNoDevice = 3;      // not found or not switched on
inline constexpr int32_t kResultWrongType = 4;     // wrong parameter type
inline constexpr int32_t kResultUnknownCode = -1;  // ConfigureDevice: no device has the code
// ShowSettingsDialog when no settings dialog is linked in.
inline constexpr int32_t kResultNoSettingsDialog = -2;

// The settings dialog unit installs its runner here; it shows the dialog for
// the device modally and returns the dialog's result.
using SettingsDialogRunner = int32_t (*)(class TDeviceItem& device);
void InstallSettingsDialog(SettingsDialogRunner runner) noexcept;

class TDeviceItem : public TRootCollectionItem {
 public:
  // Creates the device for list (the list appends it): new code, a unique
  // name, the list's templates at their defaults, the list's event interface.
  explicit TDeviceItem(TDevicesList& list);
  ~TDeviceItem() override;

  TDevicesList& DeviceList() const noexcept { return *list_; }

  // Removes the device from its list and destroys it: nothing may touch this
  // object afterwards.
  virtual void Delete();
  // Ends loading the device's settings; its result is the load result.
  virtual int32_t SettingsLoaded() { return kResultOk; }
  // The connection settings dialog; kResultNoSettingsDialog without one.
  virtual int32_t ShowSettingsDialog();
  // Called by the dialog after it is created and before it is shown.
  virtual void PrepareSettingsDialog() {}
  // 1 when switched on, else 0.
  virtual int32_t GetActive();
  // Mode 1 switches on, anything else off.
  virtual void SetDeviceActive(int32_t mode);
  virtual bool DeviceOpen() { return true; }
  virtual bool DeviceClose() { return true; }
  // Copies the properties into the port settings record before switching on.
  virtual void SetupPortManager() { ApplyPortSettings(nullptr); }
  // A complete line from the port (port event thread).
  virtual void LineReceived(const char* /*line*/) {}
  virtual int32_t CustomOperation(int32_t /*value*/) { return 0; }
  // kResultNoDevice when switched off, else 0; kept as the last result.
  virtual int32_t CheckState();
  bool CheckStateOk(int32_t& code);
  // The stored value with backslash-n shown as CR LF.
  virtual std::string GetProperty(std::string_view name);
  // CR LF stored as backslash-n.
  virtual void SetProperty(std::string_view name, std::string_view value);
  virtual std::string GetErrorText(int32_t code);

  // An empty value reads as 0; other non-numbers throw the conversion error.
  int32_t GetPropertyInt(std::string_view name);
  void SetPropertyInt(std::string_view name, int32_t value);

  // Port keys from lines (name=value) or, without lines, from the properties
  // into the port settings record; empty values leave their field alone.
  void ApplyPortSettings(const TNameValueList* lines);
  // The record back into lines or the properties, for the groups the list exposes.
  void StorePortSettings(TNameValueList* lines);

  // The seven-column property table as a value array object (VT_DISPATCH).
  int32_t GetPropsTable(Variant& table);
  int32_t SetPropsTable(const VARIANT& table);

  std::string SaveSettingsXML();
  // A settings text or an MSXML node/document; any other kind changes nothing.
  int32_t LoadSettings(const VARIANT& source);
  int32_t LoadSettingsFrom(const XmlNode& element);

  // True when the call's host task asks to stop (waiting loops, any thread).
  bool AbortRequested() const noexcept;
  // The host task of the current call, or null.
  void SetTask(void* task) noexcept { FTask = task; }
  void* Task() const noexcept { return FTask; }

  TPortManager& PortManager() noexcept { return *FPortManager; }
  TPropList& Props() noexcept { return FProps; }
  IDispatch* HostEventSink() const noexcept { return FHostEventSink.Get(); }
  GUID DeviceCode() const;
  void SetDeviceCode(const GUID& code);
  const std::string& DeviceName() const noexcept { return FDeviceName; }
  void SetDeviceName(std::string_view name) { FDeviceName.assign(name); }
  int32_t LastResult() const noexcept { return FLastResult; }
  void SetLastResult(int32_t code) noexcept { FLastResult = code; }
  // What "Результат" shows: the last result, unless the model knows better
  // (a reader that has lost its connection says so until it is back).
  virtual int32_t ReportedResult() const noexcept { return FLastResult; }
  int32_t Number() const noexcept { return FNumber; }
  DWORD OwnerThreadId() const noexcept { return FOwnerThreadId; }
  bool CheckPorts() const noexcept { return FCheckPorts; }

  // A line procedure for the port manager whose owner is a device.
  static void LineProcedureOf(void* device, const char* line) noexcept;

  // True on this device's port event thread: inside a line handler, and so
  // inside the host's event handler.
  bool OnOwnEventThread() const noexcept;
  // No event and no poll from now on: the timers stop and lines are no longer
  // handled; with closePort the port closes too (from its own event thread
  // at once, the thread ending as soon as the handler returns).
  void Silence(bool closePort) noexcept;
  // Whether the device may be destroyed now: true (and from then on its own
  // timer work no longer starts) unless its owner thread is inside that work.
  bool ClaimForDisposal() noexcept;
  // Waits (asleep) up to timeoutMs for the owner thread's own work to end,
  // then claims the device; false when that work is still going on.
  bool ClaimForDisposalWithin(DWORD timeoutMs) noexcept;

 protected:
  // Models stop their own timers here (Silence).
  virtual void StopTimers() noexcept {}
  // Brackets the device's own timer work on its owner thread (a poll); false,
  // and nothing to leave, when the device is being disposed of.
  bool EnterOwnWork() noexcept;
  void LeaveOwnWork() noexcept;

  // Closes the port, which ends its event thread, so that no line reaches a
  // device being destroyed. Model destructors call it before freeing their parts.
  void ClosePortNow() noexcept;

 private:
  TDevicesList* list_;
  ComPtr<IDispatch> FHostEventSink;
  std::atomic<void*> FTask{nullptr};
  TPropList FProps;
  mutable std::mutex codeLock_;
  GUID FDeviceCode{};
  std::string FDeviceName;
  std::atomic<int32_t> FLastResult{0};
  int32_t FNumber = 0;
  DWORD FOwnerThreadId = 0;
  bool FCheckPorts = true;
  // Own timer work in progress (>0), none (0), or claimed for disposal (-1).
  std::atomic<int> ownWork_{0};
  // Signalled while no own timer work is in progress.
  Event ownWorkIdle_ = Event::ManualReset(true);
  // Declared last so that it goes first: its port closes before the rest.
  std::unique_ptr<TPortManager> FPortManager;
};

}  // namespace ra03v
