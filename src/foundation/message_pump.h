#pragma once
// Waits that keep the calling thread's window messages flowing without spinning:
// between messages the thread sleeps in MsgWaitForMultipleObjectsEx.
#include <windows.h>

#include <span>

namespace ra03v {

// Removes, translates and dispatches every message waiting for this thread.
void ProcessMessages();

// Returns after milliseconds have passed (by the tick count), dispatching this
// thread's messages as they arrive. 0 returns at once.
void PumpedDelay(DWORD milliseconds);

// Waits until one of handles is signalled or timeoutMs passes (INFINITE: no
// limit), dispatching this thread's messages meanwhile. Returns the index of
// the signalled handle, or -1 on time-out.
int PumpedWait(std::span<const HANDLE> handles, DWORD timeoutMs);

}  // namespace ra03v
