#pragma once
// TComThread: while a port is open, waits for the device's line events and
// the stop request without polling or time limit, and delivers the events.
#include <windows.h>

#include <atomic>
#include <memory>

#include "foundation/win/event.h"
#include "foundation/win/unique_handle.h"
#include "serial/com_types.h"

namespace ra03v {

class TCustomComPort;

class TComThread {
 public:
  // Sets the device's event mask from the port's Events and starts the thread.
  explicit TComThread(TCustomComPort& port);
  // Signals the stop request and waits until the thread body has returned.
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // The event mask in force: the requested one, or what remained after the
  // device refused events.
  DWORD Mask() const noexcept { return mask_.load(); }
  // True when called on this event thread.
  bool IsCurrent() const noexcept { return GetCurrentThreadId() == threadId_; }
  // True once the body has returned (stopped, or ended by an error).
  bool Finished() const noexcept { return WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0; }

  // Called on this thread (a handler closing its own port): the loop ends as
  // soon as the handler returns, and the device is let go here, so the caller
  // may release the handle at once. Nothing of the device is touched after.
  void DetachOnOwnThread() noexcept;
  // Keeps a thread that could not be waited for until it has ended; it is
  // freed by a later Reap (or at unload) from a thread that is not itself.
  static void Retire(std::unique_ptr<TComThread> thread);
  // Frees retired threads that have ended.
  static void Reap();

 private:
  static DWORD WINAPI Body(void* self) noexcept;
  void Run();
  // Moves to the next smaller mask the device accepts; false when none is left.
  bool FallBack();
  // A failed or cancelled wait: hands over queued bytes; true when a stop was asked.
  bool AfterFailedWait(int failures);
  enum class RxNews { kNothingQueued, kOnlyReported, kNew };
  // What the receive queue holds compared with when it was last looked at.
  RxNews LookAtQueue();
  // After a wake that brought nothing new: waits a little longer each time
  // (up to 16 ms) before the next wait; true when a stop was asked.
  bool AfterStaleWake(int staleWakes);

  TCustomComPort& port_;
  // Kept from the port: a retired thread may outlive it.
  TSyncMethod syncMethod_;
  HANDLE device_;
  Event stop_;
  Handle thread_;
  DWORD threadId_ = 0;
  // This module, referenced for the thread's lifetime (null if that failed).
  HMODULE module_ = nullptr;
  // Set once the body has left its loop, before it lets the module go.
  std::atomic<bool> leaving_{false};
  DWORD requested_;
  std::atomic<DWORD> mask_{0};
  int stage_ = 0;
  // The receive queue as last looked at, and the port's reads begun then.
  // Valid only when no read was in flight around the look.
  struct QueueMark {
    bool valid = false;
    uint32_t reads = 0;
    int32_t queued = 0;
  };
  QueueMark mark_;
};

}  // namespace ra03v
