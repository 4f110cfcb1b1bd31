#pragma once
// An owned Win32 event object.
#include <windows.h>

#include "foundation/win/unique_handle.h"
#include "foundation/win/win_error.h"

namespace ra03v {

class Event {
 public:
  // Creates an unnamed manual-reset event (for OVERLAPPED and stop requests).
  static Event ManualReset(bool signalled = false) { return Event(TRUE, signalled); }
  // Creates an unnamed auto-reset event.
  static Event AutoReset(bool signalled = false) { return Event(FALSE, signalled); }

  Event(Event&&) noexcept = default;
  Event& operator=(Event&&) noexcept = default;

  // Reads the handle; the event keeps it.
  HANDLE Get() const noexcept { return handle_.Get(); }
  void Set() const noexcept { SetEvent(handle_.Get()); }
  void ResetSignal() const noexcept { ResetEvent(handle_.Get()); }
  // True when signalled within timeoutMs.
  bool Wait(DWORD timeoutMs = INFINITE) const noexcept {
    return WaitForSingleObject(handle_.Get(), timeoutMs) == WAIT_OBJECT_0;
  }

 private:
  Event(BOOL manual, bool signalled) : handle_(CreateEventW(nullptr, manual, signalled, nullptr)) {
    if (!handle_) ThrowLastError("CreateEvent");
  }
  Handle handle_;
};

}  // namespace ra03v
