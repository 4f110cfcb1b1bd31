#include "devices/device_item.h"

#include <cstring>

#include "devices/devices_list.h"
#include "devices/number_text.h"
#include "devices/prop_values.h"
#include "foundation/system_info.h"
#include "ra03v/host_contract.h"

namespace ra03v {

namespace {

std::atomic<SettingsDialogRunner> settingsDialog{nullptr};

// Only tasks of the host's two known classes carry the abort byte.
bool IsKnownTask(const void* task) noexcept {
  const auto* record = *static_cast<const RA03V_CLASS_RECORD* const*>(task);
  if (!record || !record->ClassName) return false;
  return std::strcmp(record->ClassName, RA03V_TASK_CLASS_INTERNAL) == 0 ||
         std::strcmp(record->ClassName, RA03V_TASK_CLASS_THREAD) == 0;
}

}  // namespace

void InstallSettingsDialog(SettingsDialogRunner runner) noexcept { settingsDialog = runner; }

TDeviceItem::TDeviceItem(TDevicesList& list)
    : list_(&list), FPortManager(std::make_unique<TPortManager>()) {
  FPortManager->SetAbortCheck([this] { return AbortRequested(); });
  FPortManager->SetConnected(false);
  FNumber = list.Count() + 1;  // the count once the list has appended it
  FDeviceName = list.UniqueDeviceName("");
  FHostEventSink = ComPtr<IDispatch>::Copy(list.EventSink());
  FDeviceCode = NewGuid();
  FProps.CopyItemsFrom(list.PropTemplates());
  FOwnerThreadId = GetCurrentThreadId();
}

TDeviceItem::~TDeviceItem() { ClosePortNow(); }

void TDeviceItem::ClosePortNow() noexcept {
  try {
    FPortManager->SetListening(false);
    FPortManager->SetConnected(false);
    // The port manager settles after every close; a port never opened needs none.
    if (FPortManager->Support().IsConnected()) FPortManager->Disconnect(false);
    FPortManager->ClearLineHandlers();
  } catch (...) {
    // Closing is best effort: the port manager closes again when destroyed.
  }
}

void TDeviceItem::Delete() {
  TDevicesList& list = DeviceList();
  const int index = Index();
  if (index >= 0) list.DeleteDevice(index);  // destroys this object, or parks it
}

bool TDeviceItem::OnOwnEventThread() const noexcept {
  return FPortManager->Support().Port().OnEventThread();
}

void TDeviceItem::Silence(bool closePort) noexcept {
  StopTimers();
  FPortManager->SetListening(false);
  FPortManager->SetConnected(false);
  if (closePort) ClosePortNow();
}

bool TDeviceItem::ClaimForDisposal() noexcept {
  int expected = 0;
  return ownWork_.compare_exchange_strong(expected, -1) || expected == -1;
}

bool TDeviceItem::ClaimForDisposalWithin(DWORD timeoutMs) noexcept {
  const DWORD start = GetTickCount();
  for (;;) {
    if (ClaimForDisposal()) return true;
    const DWORD waited = GetTickCount() - start;
    if (waited >= timeoutMs) return false;
    // Woken when the work ends; a wake that loses the race to new work waits again.
    WaitForSingleObject(ownWorkIdle_.Get(), timeoutMs - waited);
  }
}

bool TDeviceItem::EnterOwnWork() noexcept {
  int current = ownWork_.load();
  while (current >= 0) {
    if (ownWork_.compare_exchange_weak(current, current + 1)) {
      ownWorkIdle_.ResetSignal();
      return true;
    }
  }
  return false;
}

void TDeviceItem::LeaveOwnWork() noexcept {
  if (--ownWork_ == 0) ownWorkIdle_.Set();
}

int32_t TDeviceItem::ShowSettingsDialog() {
  const SettingsDialogRunner runner = settingsDialog.load();
  return runner ? runner(*this) : kResultNoSettingsDialog;
}

int32_t TDeviceItem::GetActive() { return FPortManager->ConnectedFlag() ? 1 : 0; }

void TDeviceItem::SetDeviceActive(int32_t mode) {
  FLastResult = kResultOk;
  bool ok = false;
  if (mode == 1) {
    SetupPortManager();
    FPortManager->SetListening(false);
    try {
      ok = DeviceOpen();
    } catch (...) {
      // A failed open step (an abort, say) must not leave a half-open port behind.
      FPortManager->SetListening(true);
      SetDeviceActive(0);
      throw;
    }
    const int32_t saved = FLastResult;
    FPortManager->SetListening(true);
    FPortManager->SetConnected(ok);
    if (!ok) SetDeviceActive(0);
    if (!FPortManager->Settings().keepOpen) FPortManager->Disconnect(true);
    FLastResult = saved;
    if (!ok && FLastResult == kResultOk) FLastResult = kResultNoDevice;
  } else {
    FPortManager->SetListening(false);
    FPortManager->SetConnected(false);
    DeviceClose();
    FPortManager->Disconnect(true);
  }
  FPortManager->SetConnected(mode == 1 && ok);
}

int32_t TDeviceItem::CheckState() {
  const int32_t code = GetActive() == 1 ? kResultOk : kResultNoDevice;
  FLastResult = code;
  return code;
}

bool TDeviceItem::CheckStateOk(int32_t& code) {
  code = CheckState();
  FLastResult = code;
  return code == kResultOk;
}

std::string TDeviceItem::GetProperty(std::string_view name) {
  return StoredToShownLineBreaks(FProps.GetPropValue(name));
}

void TDeviceItem::SetProperty(std::string_view name, std::string_view value) {
  FProps.SetPropValue(name, ShownToStoredLineBreaks(value));
}

std::string TDeviceItem::GetErrorText(int32_t code) { return DeviceList().GetErrorText(code); }

int32_t TDeviceItem::GetPropertyInt(std::string_view name) {
  const std::string text = GetProperty(name);
  return StrToInt(text.empty() ? std::string_view("0") : std::string_view(text));
}

void TDeviceItem::SetPropertyInt(std::string_view name, int32_t value) {
  SetProperty(name, std::to_string(value));
}

bool TDeviceItem::AbortRequested() const noexcept {
  const void* task = FTask.load();
  if (!task || !IsKnownTask(task)) return false;
  return static_cast<const unsigned char*>(task)[RA03V_TASK_ABORT_OFFSET] != 0;
}

GUID TDeviceItem::DeviceCode() const {
  std::lock_guard<std::mutex> lock(codeLock_);
  return FDeviceCode;
}

void TDeviceItem::SetDeviceCode(const GUID& code) {
  std::lock_guard<std::mutex> lock(codeLock_);
  FDeviceCode = code;
}

void TDeviceItem::LineProcedureOf(void* device, const char* line) noexcept {
  try {
    static_cast<TDeviceItem*>(device)->LineReceived(line);
  } catch (...) {
    // Received-data failures only show as missing events.
  }
}

}  // namespace ra03v
