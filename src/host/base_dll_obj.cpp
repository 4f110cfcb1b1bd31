#include "host/base_dll_obj.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "devices/device_item.h"
#include "devices/devices_list.h"
#include "devices/text_compare.h"
#include "foundation/error_codes.h"
#include "foundation/protect_exception.h"
#include "foundation/system_info.h"
#include "foundation/text_format.h"
#include "foundation/text_utils.h"
#include "foundation/variant_utils.h"
#include "foundation/win/safe_array.h"
#include "foundation/win/scope_exit.h"
#include "host/exec_mode.h"
#include "ra03v/value_array.h"

namespace ra03v {

namespace {

constexpr char kFree[] = "__FRee";
constexpr char kLoad[] = "__Load";
constexpr char kEventSupport[] = "__@@EventSupport";
constexpr char kSwitchOffAll[] = "__@@SwitchOff";
// Position of "УстройствоВключено" in the driver property group.
constexpr int32_t kDeviceIsOnIndex = 4;

// The value array object behind a value, if it is one.
ComPtr<ISafeArray> AsValueArray(const VARIANT& value) {
  ComPtr<ISafeArray> table;
  const VARTYPE type = V_VT(&value);
  if ((type == VT_DISPATCH || type == VT_UNKNOWN) && V_UNKNOWN(&value))
    V_UNKNOWN(&value)->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid());
  return table;
}

// The one driver object of the process; a host may hand it back as the task.
std::atomic<TBaseDllObj*> g_driverObject{nullptr};

void StoreDriverSlot(void* task, TBaseDllObj* driver) {
  std::memcpy(static_cast<char*>(task) + RA03V_TASK_DRIVER_OFFSET, &driver, sizeof driver);
}

}  // namespace

bool IsDriverObject(const void* task) noexcept {
  return task && task == static_cast<const void*>(g_driverObject.load());
}

std::string_view TaskClassName(const void* task) noexcept {
  // The driver object has no class record of the host's kind.
  if (!task || IsDriverObject(task)) return {};
  const RA03V_CLASS_RECORD* record = nullptr;
  std::memcpy(&record, task, sizeof record);
  return record && record->ClassName ? std::string_view(record->ClassName) : std::string_view();
}

bool IsKnownTaskClass(const void* task) noexcept {
  const std::string_view name = TaskClassName(task);
  return name == RA03V_TASK_CLASS_INTERNAL || name == RA03V_TASK_CLASS_THREAD;
}

TBaseDllObj& GetBaseDll(void* task) {
  if (IsDriverObject(task)) return *static_cast<TBaseDllObj*>(task);
  TBaseDllObj* driver = nullptr;
  if (IsKnownTaskClass(task))
    std::memcpy(&driver, static_cast<char*>(task) + RA03V_TASK_DRIVER_OFFSET, sizeof driver);
  if (!driver) throw std::runtime_error("Вызов метода GetBaseDll с очень плохим параметром!");
  return *driver;
}

TBaseDllObj::TBaseDllObj(std::span<const TMethodEntry> driverMethods,
                         std::span<const TMethodEntry> builtInMethods,
                         std::span<const TPropertyEntry> properties,
                         const DeviceListFactory& makeList)
    : driverMethods_(driverMethods.begin(), driverMethods.end()),
      builtInMethods_(builtInMethods.begin(), builtInMethods.end()),
      properties_(properties.begin(), properties.end()),
      names_(*this) {
  SetExecutionMode(ExecutionMode::PlugIn);
  devices_ = makeList();
  TBaseDllObj* none = nullptr;
  g_driverObject.compare_exchange_strong(none, this);
}

TBaseDllObj::~TBaseDllObj() {
  TBaseDllObj* self = this;
  g_driverObject.compare_exchange_strong(self, nullptr);
  devices_.reset();
  Sleep(10);
}

void TBaseDllObj::SetDeviceParameters(std::span<const TPropertyEntry> rows) {
  deviceParameters_.assign(rows.begin(), rows.end());
}

int32_t TBaseDllObj::FindMethodIndex(std::string_view name) const {
  return nameIndex_.Find(name).method;
}

const TMethodEntry* TBaseDllObj::MethodAt(int32_t index) const noexcept {
  if (index < 0) return nullptr;
  if (index < kBuiltInMethodBase) return &driverMethods_[static_cast<size_t>(index)];
  return &builtInMethods_[static_cast<size_t>(index - kBuiltInMethodBase)];
}

const TMethodEntry* TBaseDllObj::FindMethod(std::string_view name) const {
  return MethodAt(FindMethodIndex(name));
}

bool TBaseDllObj::IsBuiltInMethod(std::string_view name) const {
  return nameIndex_.Find(name).builtIn;
}

int32_t TBaseDllObj::FindPropertyIndex(std::string_view name) const {
  const int32_t index = nameIndex_.Find(name).property;
  if (index != kNotFound) return index;
  // The templates grow as model descriptions arrive, so they are not indexed;
  // only a name that is no property row comes this far.
  const TPropList& templates = devices_->PropTemplates();
  for (int i = 0; i < templates.Count(); ++i)
    if (SameText(templates.Item(i).Identifier(), name)) return kPropertyTemplateBase + i;
  return kNotFound;
}

const TPropertyEntry* TBaseDllObj::PropertyAt(int32_t index) const noexcept {
  if (index >= kDeviceParameterBase && index < kPropertyTemplateBase)
    return &deviceParameters_[static_cast<size_t>(index - kDeviceParameterBase)];
  if (index >= kDriverPropertyBase && index < kDeviceParameterBase)
    return &properties_[static_cast<size_t>(index - kDriverPropertyBase)];
  return nullptr;
}

const TPropertyEntry* TBaseDllObj::FindProperty(std::string_view name) const {
  return PropertyAt(nameIndex_.Find(name).property);
}

bool TBaseDllObj::IsReadOnly(const TPropertyEntry& property) const {
  if (property.ReadOnly) return true;
  return deviceIsOnReadOnly_ && properties_.size() > kDeviceIsOnIndex &&
         &property == &properties_[kDeviceIsOnIndex];
}

TDeviceItem* TBaseDllObj::GetDevice(void* task) {
  if (IsKnownTaskClass(task)) {
    GUID code{};
    std::memcpy(&code, static_cast<char*>(task) + RA03V_TASK_DEVICE_OFFSET, sizeof code);
    TDeviceItem* device = devices_->FindByCode(code);
    if (device) device->SetTask(task);
    return device;
  }
  const int32_t number = devices_->CurrentDevice();
  if (number > 0 && devices_->Count() >= number) {
    TDeviceItem& device = devices_->DeviceAt(number - 1);
    device.SetTask(nullptr);
    return &device;
  }
  return nullptr;
}

bool TBaseDllObj::RunControlCommand(TParams& block, const std::string& command) {
  if (command == kFree) {
    try {
      eventSink_.Reset();
    } catch (...) {
      // A host that fails to take its interface back is simply forgotten.
      (void)eventSink_.Detach();
    }
    // From the host's event handler (a port's event thread) the device whose
    // line is being handled goes once the handler has returned; a call that
    // only entered as the guest of another thread's waiting call frees nothing
    // that call may be using and leaves the devices to the next call.
    devices_->ClearDevices(callLock_.AdmittedAsGuest());
    // The list's copy goes too: the host may destroy its interface after this,
    // and devices created later must not copy a dangling pointer.
    devices_->SetEventSink(nullptr);
    return true;
  }
  if (command == kLoad) return true;
  if (command == kEventSupport) {
    // Refused before anything changes: the host keeps its block and the driver
    // its state.
    block.RequireValueList();
    eventSink_ = ComPtr<IDispatch>::Copy(block.EventSink);
    block.Clear();
    VARIANT names;
    V_VT(&names) = VT_UNKNOWN;
    V_UNKNOWN(&names) = names_.Interface();
    block.Add(names);  // the block's copy holds the reference it hands over
    devices_->SetEventSink(eventSink_.Get());
    deviceIsOnReadOnly_ = true;
    return true;
  }
  if (command == kSwitchOffAll) {
    devices_->SwitchOffAll();
    return true;
  }
  return false;
}

bool TBaseDllObj::Dispatch(TParams& first, void* task) {
  bool result = true;
  for (TParams* block = &first; block; block = block->NextBlock()) {
    CallLockGuard lock(callLock_);
    // Devices freed earlier from where they could not go at once go now.
    if (!callLock_.AdmittedAsGuest()) devices_->ReapParkedDevices();
    result = false;
    if (block->Name && RunControlCommand(*block, block->Name)) return false;

    if (block->Count() < 3) RaiseText("Недостаточно параметров при вызове метода");
    const std::string name = block->Get(RA03V_VALUE_NAME).To1251();
    if (name.empty()) RaiseText("Не указано имя метода");
    int32_t kind = block->Get(RA03V_VALUE_KIND).ToInt();
    // The driver object as its own task has no slot to fill.
    if (task && !IsDriverObject(task)) StoreDriverSlot(task, this);

    // One lookup answers for both groups; names known only as device
    // templates are no property to call.
    const NameMatch match = nameIndex_.Find(name);
    const int32_t methodIndex = match.method;
    const TMethodEntry* method = MethodAt(match.method);
    const TPropertyEntry* property = PropertyAt(match.property);
    TDeviceItem* device = GetDevice(task);
    ScopeExit clearTask([device] {
      if (device) device->SetTask(nullptr);
    });

    if (!method && !property) RaiseError(20036, {QuoteHostText(name)});
    if (method && kind == RA03V_KIND_GET) kind = RA03V_KIND_METHOD;
    if ((kind == RA03V_KIND_METHOD || kind == RA03V_KIND_SET) && !method) {
      if (kind == RA03V_KIND_METHOD) RaiseError(20036, {QuoteHostText(name)});
      if (IsReadOnly(*property))
        RaiseText(FormatTemplate("Свойство [%s] доступно только для чтения", {QuoteHostText(name)}));
      Variant value = block->Get(RA03V_VALUE_FIRST_ARGUMENT);
      VARIANT raw = value.Release();
      ScopeExit freeValue([&raw] { VariantClear(&raw); });
      property->Handler(task, true, raw, std::string(property->Name));
      return true;
    }
    if (kind == RA03V_KIND_METHOD || kind == RA03V_KIND_SET) {
      CallMethod(*block, task, *method, methodIndex, name, device);
      result = true;
    } else if (kind == RA03V_KIND_GET) {
      VARIANT value;
      VariantInit(&value);
      ScopeExit freeValue([&value] { VariantClear(&value); });
      property->Handler(task, false, value, std::string(property->Name));
      block->Set(RA03V_VALUE_RESULT, value);
      result = true;
    }
  }
  return result;
}

void TBaseDllObj::CallMethod(TParams& block, void* task, const TMethodEntry& method,
                             int32_t methodIndex, const std::string& name, TDeviceItem* device) {
  const int needed = method.ParamCount;
  int passed = block.Count() - 3;

  // One value array object may carry all the arguments in its first column.
  ComPtr<ISafeArray> unpacked;
  if (passed != needed && block.Count() == 4 && methodIndex < kDriverPropertyBase) {
    Variant value = block.Get(RA03V_VALUE_FIRST_ARGUMENT);
    ComPtr<ISafeArray> table = AsValueArray(value.Get());
    if (table) {
      LONG rows = 0, columns = 0;
      if (SUCCEEDED(table->GetBounds(&rows, &columns)) && columns == 1 && rows == needed) {
        block.Truncate(3);
        for (LONG j = 0; j < needed; ++j) {
          Variant cell;
          CheckHResult(table->GetValue(j, 0, cell.Put()), "GetValue");
          block.Add(cell.Get());
        }
        passed = needed;
        unpacked = table;
      } else {
        passed = 0;
      }
    }
  }
  // Written back in every case, also after a failure, so the host keeps its object.
  ScopeExit writeBack([&] {
    if (!unpacked) return;
    try {
      if (block.Count() == needed + 3 && needed >= 1)
        for (LONG j = 0; j < needed; ++j)
          unpacked->SetValue(j, 0, block.Get(RA03V_VALUE_FIRST_ARGUMENT + j).Get());
      block.Truncate(3);
      VARIANT object;
      V_VT(&object) = VT_DISPATCH;
      V_DISPATCH(&object) = unpacked.Get();
      block.Add(object);
    } catch (...) {
    }
  });

  if (passed != needed)
    RaiseText("Неверное количество переданных параметров\r\nФункция [" + QuoteHostText(name) + "]\r\nПередано: " +
              std::to_string(passed) + "\r\nНеобходимо: " + std::to_string(needed));

  SafeArray args = SafeArray::Vector(VT_VARIANT, 0, static_cast<ULONG>(needed));
  for (LONG j = 0; j < needed; ++j) {
    Variant value = block.Get(RA03V_VALUE_FIRST_ARGUMENT + j);
    CheckHResult(SafeArrayPutElement(args.Get(), &j, const_cast<VARIANT*>(&value.Get())),
                 "SafeArrayPutElement");
  }
  Variant result;
  method.Handler(task, args.Get(), result.Put());
  for (LONG j = 0; j < needed; ++j) {
    Variant element;
    CheckHResult(SafeArrayGetElement(args.Get(), &j, element.Put()), "SafeArrayGetElement");
    block.Set(RA03V_VALUE_FIRST_ARGUMENT + j, element.Get());
  }
  block.Set(RA03V_VALUE_RESULT, result.Get());

  if (errorsAsExceptions_ && CurrentExecutionMode() == ExecutionMode::PlugIn &&
      VariantKindIn(result.Get(), {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8,
                                   VT_INT, VT_UINT})) {
    const int32_t code = result.ToInt();
    if (code > 0) {
      const std::string text = device ? device->GetErrorText(code) : devices_->GetErrorText(code);
      throw EProtectException(code, text);
    }
  }
}

}  // namespace ra03v
