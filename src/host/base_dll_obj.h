#pragma once
// The object behind every host call: it holds the device list and the tables
// of methods and properties the host may call by name, and dispatches chains
// of call blocks to them.
//
// Calls may come from several host threads: one lock per driver object
// serialises the call blocks. Device events reach the host from the ports'
// event threads without taking it.
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "foundation/call_lock.h"
#include "foundation/root_objects.h"
#include "foundation/win/com_ptr.h"
#include "host/driver_names.h"
#include "host/driver_tables.h"
#include "host/name_index.h"
#include "host/params.h"

namespace ra03v {

class TDevicesList;
class TDeviceItem;

class TBaseDllObj : public TRootObject {
 public:
  using DeviceListFactory = std::function<std::unique_ptr<TDevicesList>()>;

  TBaseDllObj(std::span<const TMethodEntry> driverMethods,
              std::span<const TMethodEntry> builtInMethods,
              std::span<const TPropertyEntry> properties, const DeviceListFactory& makeList);
  ~TBaseDllObj() override;

  // Runs a chain of blocks; true when the last block processed called a
  // method or accessed a property. Failures leave as exceptions.
  bool Dispatch(TParams& first, void* task);

  int32_t FindMethodIndex(std::string_view name) const;
  const TMethodEntry* FindMethod(std::string_view name) const;
  int32_t FindPropertyIndex(std::string_view name) const;
  const TPropertyEntry* FindProperty(std::string_view name) const;
  // The device a call addresses (by the task's device code, else the current
  // device number), or null; sets the device's task for the call.
  TDeviceItem* GetDevice(void* task);
  bool IsBuiltInMethod(std::string_view name) const;

  TDevicesList& Devices() noexcept { return *devices_; }
  IDispatch* EventSink() const noexcept { return eventSink_.Get(); }
  bool ErrorsAsExceptions() const noexcept { return errorsAsExceptions_; }
  uint16_t ReleaseNumber() const noexcept { return releaseNumber_; }
  void SetReleaseNumber(uint16_t number) noexcept { releaseNumber_ = number; }

 protected:
  // TBaseDllScanner fills the device parameter group, in its constructor: the
  // name index is built from the rows at the first lookup and kept.
  void SetDeviceParameters(std::span<const TPropertyEntry> rows);

 private:
  bool RunControlCommand(TParams& block, const std::string& command);
  void CallMethod(TParams& block, void* task, const TMethodEntry& method, int32_t methodIndex,
                  const std::string& name, TDeviceItem* device);
  bool IsReadOnly(const TPropertyEntry& property) const;
  const TMethodEntry* MethodAt(int32_t index) const noexcept;
  const TPropertyEntry* PropertyAt(int32_t index) const noexcept;

  ComPtr<IDispatch> eventSink_;
  bool errorsAsExceptions_ = true;
  std::unique_ptr<TDevicesList> devices_;
  uint16_t releaseNumber_ = 0;
  std::vector<TMethodEntry> driverMethods_;
  std::vector<TMethodEntry> builtInMethods_;
  std::vector<TPropertyEntry> properties_;
  std::vector<TPropertyEntry> deviceParameters_;
  NameIndex nameIndex_{driverMethods_, builtInMethods_, deviceParameters_, properties_};
  // "УстройствоВключено" can no longer be set once the host took events over.
  bool deviceIsOnReadOnly_ = false;
  CallLock callLock_;
  DriverNames names_;
};

// The driver object a method or property handler works for: the task itself
// when it is the driver object, else the task's driver slot (tasks of the two
// known classes). Anything else raises
// "Вызов метода GetBaseDll с очень плохим параметром!".
TBaseDllObj& GetBaseDll(void* task);

// Class name of a host task object (its class record's name), or empty.
std::string_view TaskClassName(const void* task) noexcept;
// Whether task is the process's driver object (whose address a host reads
// back from a task's driver slot); such a task addresses the current device.
bool IsDriverObject(const void* task) noexcept;
bool IsKnownTaskClass(const void* task) noexcept;

}  // namespace ra03v
