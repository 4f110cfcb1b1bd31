#pragma once
// The lock that serialises host calls into one driver object.
//
// A thread holding it may have to wait for another thread that itself needs a
// host call to finish: closing a port waits for the port's event thread, and
// that thread may be inside the host's event handler, which may call the
// driver. Such a wait names the thread it waits for; while it lasts, that one
// thread may enter calls on the waiting owner's behalf. Everyone else still
// waits, so calls stay serialised.
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace ra03v {

class CallLock {
 public:
  void Lock();
  void Unlock() noexcept;
  // True when the calling thread is inside a call only as the guest of
  // another thread's call that waits for it: that call may be using anything.
  bool AdmittedAsGuest() noexcept;

  // Runs wait; meanwhile guestThread may take this lock if the caller holds it.
  static void WaitAdmitting(DWORD guestThread, const std::function<void()>& wait);

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  DWORD owner_ = 0;
  int depth_ = 0;
  DWORD guest_ = 0;
  int guestDepth_ = 0;
};

class CallLockGuard {
 public:
  explicit CallLockGuard(CallLock& lock) : lock_(lock) { lock_.Lock(); }
  ~CallLockGuard() { lock_.Unlock(); }
  CallLockGuard(const CallLockGuard&) = delete;
  CallLockGuard& operator=(const CallLockGuard&) = delete;

 private:
  CallLock& lock_;
};

}  // namespace ra03v
