#include "devices/devices_list.h"

#include <vector>

#include "devices/text_compare.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/text_utils.h"
#include "serial/com_thread.h"

namespace ra03v {

namespace {

constexpr int kMaxGeneratedNames = 10000;

std::string FoldLatin(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(FoldLatinCase(static_cast<unsigned char>(c)));
  return folded;
}

// Exact comparison under the user's locale.
bool SameUnderLocale(std::string_view a, std::string_view b) {
  const std::wstring wa = Text1251ToWide(a);
  const std::wstring wb = Text1251ToWide(b);
  return CompareStringW(LOCALE_USER_DEFAULT, 0, wa.data(), static_cast<int>(wa.size()), wb.data(),
                        static_cast<int>(wb.size())) == CSTR_EQUAL;
}

}  // namespace

TDevicesList::TDevicesList(DeviceFactory factory)
    : factory_(std::move(factory)), FOwnerThreadId(GetCurrentThreadId()) {
  if (!factory_) factory_ = [](TDevicesList& list) { return std::make_unique<TDeviceItem>(list); };
  AddPropertyDescriptors(CommonPropertyDescriptors());
}

TDevicesList::~TDevicesList() {
  FModels.reset();
  ReapParkedDevices(true);
  Clear();  // the devices close their ports
}

TDeviceItem& TDevicesList::DeviceAt(int index) const {
  return static_cast<TDeviceItem&>(ItemAt(index));
}

std::string TDevicesList::GetErrorText(int32_t code) {
  return "Ошибка. Код №" + std::to_string(code);
}

void TDevicesList::AddPropertyDescriptors(std::span<const TPropDescriptor> rows) {
  FPropTemplates.AddDescriptors(rows);
}

TDeviceItem& TDevicesList::AppendDevice() {
  return static_cast<TDeviceItem&>(Append(factory_(*this)));
}

int32_t TDevicesList::AddDevice(std::string& text, bool withDialog) {
  LoadModelDescription(text);
  TDeviceItem& device = AppendDevice();
  device.ApplyPortSettings(nullptr);
  int32_t result = kResultOk;
  if (withDialog) result = ConfigureDevice(device.DeviceCode());
  if (result != kResultOk) {
    device.Delete();
    return result;
  }
  text = device.SaveSettingsXML();
  return result;
}

int32_t TDevicesList::ConfigureDevice(const GUID& code) {
  TDeviceItem* device = FindByCode(code);
  return device ? device->ShowSettingsDialog() : kResultUnknownCode;
}

TDeviceItem* TDevicesList::FindByCode(const GUID& code) const {
  for (int i = 0; i < Count(); ++i)
    if (SameGuid(DeviceAt(i).DeviceCode(), code)) return &DeviceAt(i);
  return nullptr;
}

TDeviceItem* TDevicesList::FindByName(std::string_view name) const {
  const std::string wanted = FoldLatin(name);
  for (int i = 0; i < Count(); ++i)
    if (SameUnderLocale(FoldLatin(DeviceAt(i).DeviceName()), wanted)) return &DeviceAt(i);
  return nullptr;
}

TDeviceItem* TDevicesList::FindByNameIgnoringCase(std::string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(DeviceAt(i).DeviceName(), name)) return &DeviceAt(i);
  return nullptr;
}

std::string TDevicesList::CurrentDeviceName() const {
  if (FCurrentDevice <= 0) return {};
  return DeviceAt(FCurrentDevice - 1).DeviceName();
}

void TDevicesList::SetPropertyDefault(std::string_view name, std::string_view value,
                                      bool readOnly) {
  FPropTemplates.SetPropertyDefault(name, value, readOnly);
}

std::string TDevicesList::UniqueDeviceName(std::string_view exclude) const {
  std::vector<const std::string*> names;
  names.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) names.push_back(&DeviceAt(i).DeviceName());
  return generatedNames_.FirstFree(FNamePrefix, names, exclude, kMaxGeneratedNames);
}

void TDevicesList::SwitchOffAll() {
  for (int i = 0; i < Count(); ++i) DeviceAt(i).SetDeviceActive(0);
}

void TDevicesList::RemoveThreadDevices() {
  const DWORD current = GetCurrentThreadId();
  int i = 0;
  while (i < Count()) {
    TDeviceItem& device = DeviceAt(i);
    if (device.OwnerThreadId() != FOwnerThreadId && device.OwnerThreadId() == current)
      device.Delete();
    else
      ++i;
  }
  if (Count() == 0) ListEmptied();
}

void TDevicesList::ClearDevices(bool parkOnly) {
  // Empty before anything is freed: a handler admitted while a port closes
  // below finds no device left to free twice.
  std::vector<std::unique_ptr<TRootCollectionItem>> items = TakeAll();
  for (auto& item : items)
    DisposeDevice(std::unique_ptr<TDeviceItem>(static_cast<TDeviceItem*>(item.release())),
                  parkOnly);
  ListEmptied();
}

void TDevicesList::DeleteDevice(int index) {
  std::unique_ptr<TRootCollectionItem> item = Take(index);
  DisposeDevice(std::unique_ptr<TDeviceItem>(static_cast<TDeviceItem*>(item.release())));
}

void TDevicesList::DisposeDevice(std::unique_ptr<TDeviceItem> device, bool parkOnly) {
  if (!device) return;
  auto park = [this](std::unique_ptr<TDeviceItem> parked) {
    std::lock_guard<std::mutex> guard(parkedLock_);
    parked_.push_back(std::move(parked));
  };
  if (parkOnly) {
    device->Silence(false);
    park(std::move(device));
    return;
  }
  if (device->OnOwnEventThread()) {
    // The host's event handler is freeing the device whose line it handles:
    // the port closes now (the thread ends once the handler returns), and
    // the thread itself destroys the device after that, when no code of the
    // device is left on its stack.
    device->Silence(true);
    TDeviceItem* raw = device.release();
    auto destroyLater = [this, raw]() {
      std::unique_ptr<TDeviceItem> owned(raw);
      // The owner thread may be inside the device's poll: wait for its end.
      if (owned->ClaimForDisposalWithin(5000)) {
        owned.reset();
      } else {
        std::lock_guard<std::mutex> guard(parkedLock_);
        parked_.push_back(std::move(owned));
      }
    };
    if (TComThread::AfterLoopOnCurrent(destroyLater)) return;
    device.reset(raw);
    park(std::move(device));
    return;
  }
  if (!device->ClaimForDisposal()) {
    // Its owner thread is polling it right now: not pulled away from under it.
    device->Silence(false);
    park(std::move(device));
    return;
  }
  device.reset();
}

void TDevicesList::ReapParkedDevices(bool all) {
  std::vector<std::unique_ptr<TDeviceItem>> ready;
  {
    std::lock_guard<std::mutex> guard(parkedLock_);
    if (parked_.empty()) return;
    for (auto it = parked_.begin(); it != parked_.end();) {
      if (all || (*it)->ClaimForDisposal()) {
        ready.push_back(std::move(*it));
        it = parked_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Destroyed outside the lock (closing a port waits for its event thread),
  // and never under a handler of its own.
  for (auto& device : ready)
    if (!all) DisposeDevice(std::move(device));
}

void TDevicesList::LoadModelCatalog(const VARIANT& document) {
  FModels.reset();
  FModels = CreateLibraryCatalog(document);
}

std::string LibraryFileName() {
  const std::string path = ModulePath();
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace ra03v
