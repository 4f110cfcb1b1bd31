#include "foundation/message_timer.h"

#include <mutex>

#include "foundation/system_info.h"
#include "foundation/win/win_error.h"

namespace ra03v {

namespace {

constexpr wchar_t kClassName[] = L"ra03v_message_timer";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kApplyMessage = WM_APP + 1;

// The window class is registered with the first timer and unregistered with
// the last, never at load time.
std::mutex g_classLock;
int g_classUsers = 0;

void AcquireClass(WNDPROC procedure) {
  std::lock_guard<std::mutex> lock(g_classLock);
  if (g_classUsers == 0) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = procedure;
    cls.hInstance = ThisModule();
    cls.lpszClassName = kClassName;
    if (!RegisterClassW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      ThrowLastError("RegisterClass");
  }
  ++g_classUsers;
}

void ReleaseClass() noexcept {
  std::lock_guard<std::mutex> lock(g_classLock);
  if (--g_classUsers == 0) UnregisterClassW(kClassName, ThisModule());
}

}  // namespace

MessageTimer::MessageTimer(DWORD intervalMs, std::function<void()> handler)
    : handler_(std::move(handler)), interval_(intervalMs), ownerThread_(GetCurrentThreadId()) {
  AcquireClass(&WindowProc);
  window_.Reset(CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ThisModule(), nullptr));
  if (!window_) {
    const DWORD error = GetLastError();
    ReleaseClass();
    ThrowSystemError("CreateWindowEx", error);
  }
  SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageTimer::~MessageTimer() {
  enabled_ = false;
  if (GetCurrentThreadId() == ownerThread_) KillTimer(window_.Get(), kTimerId);
  SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
  // A window of another thread cannot be destroyed from here; its timer dies
  // with it. The system's own procedure closes it, so that no code of this
  // library runs for it any more (the library may be unloaded first).
  if (GetCurrentThreadId() == ownerThread_) {
    window_.Reset();
  } else {
    HWND window = window_.Release();
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  ReleaseClass();
}

void MessageTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Request();
}

void MessageTimer::SetInterval(DWORD intervalMs) {
  interval_ = intervalMs;
  if (enabled_) Request();
}

void MessageTimer::Request() {
  if (GetCurrentThreadId() == ownerThread_)
    Apply();
  else
    PostMessageW(window_.Get(), kApplyMessage, 0, 0);
}

void MessageTimer::Apply() noexcept {
  KillTimer(window_.Get(), kTimerId);
  if (enabled_) SetTimer(window_.Get(), kTimerId, interval_, nullptr);
}

LRESULT CALLBACK MessageTimer::WindowProc(HWND window, UINT message, WPARAM wp,
                                          LPARAM lp) noexcept {
  auto* self = reinterpret_cast<MessageTimer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == kApplyMessage) {
    self->Apply();
    return 0;
  }
  if (self && message == WM_TIMER && wp == kTimerId) {
    // A tick queued before a switch-off from another thread is dropped.
    if (!self->enabled_) {
      KillTimer(window, kTimerId);
      return 0;
    }
    try {
      self->handler_();
    } catch (...) {
      // Timer handlers report through their own state, never by unwinding here.
    }
    return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

}  // namespace ra03v
