#include "foundation/message_pump.h"

#include "foundation/win/win_error.h"

namespace ra03v {

void ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int PumpedWait(std::span<const HANDLE> handles, DWORD timeoutMs) {
  const DWORD count = static_cast<DWORD>(handles.size());
  const DWORD start = GetTickCount();
  for (;;) {
    ProcessMessages();
    // A handler run above may have satisfied the wait already.
    if (count != 0) {
      const DWORD ready = WaitForMultipleObjects(count, handles.data(), FALSE, 0);
      if (ready < WAIT_OBJECT_0 + count) return static_cast<int>(ready - WAIT_OBJECT_0);
    }
    DWORD remaining = INFINITE;
    if (timeoutMs != INFINITE) {
      const DWORD elapsed = GetTickCount() - start;  // unsigned: safe across wrap-around
      if (elapsed >= timeoutMs) return -1;
      remaining = timeoutMs - elapsed;
    }
    const DWORD woke = MsgWaitForMultipleObjectsEx(count, handles.data(), remaining, QS_ALLINPUT,
                                                   MWMO_INPUTAVAILABLE);
    if (woke == WAIT_FAILED) ThrowLastError("MsgWaitForMultipleObjectsEx");
    if (woke < WAIT_OBJECT_0 + count) return static_cast<int>(woke - WAIT_OBJECT_0);
  }
}

void PumpedDelay(DWORD milliseconds) {
  if (milliseconds == 0) return;
  PumpedWait({}, milliseconds);
}

}  // namespace ra03v
