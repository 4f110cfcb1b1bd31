#include "foundation/call_lock.h"

namespace ra03v {

namespace {
// The call lock this thread owns, if any.
thread_local CallLock* t_owned = nullptr;
}  // namespace

void CallLock::Lock() {
  const DWORD me = GetCurrentThreadId();
  std::unique_lock<std::mutex> guard(mutex_);
  for (;;) {
    if (owner_ == 0 || owner_ == me) {
      owner_ = me;
      ++depth_;
      t_owned = this;
      return;
    }
    if (guest_ == me) {
      ++guestDepth_;
      return;
    }
    released_.wait(guard);
  }
}

void CallLock::Unlock() noexcept {
  const DWORD me = GetCurrentThreadId();
  std::lock_guard<std::mutex> guard(mutex_);
  if (guest_ == me && guestDepth_ > 0 && owner_ != me) {
    --guestDepth_;
  } else if (owner_ == me && --depth_ == 0) {
    owner_ = 0;
    t_owned = nullptr;
  }
  released_.notify_all();
}

bool CallLock::AdmittedAsGuest() noexcept {
  const DWORD me = GetCurrentThreadId();
  std::lock_guard<std::mutex> guard(mutex_);
  return guest_ == me && guestDepth_ > 0 && owner_ != me;
}

void CallLock::WaitAdmitting(DWORD guestThread, const std::function<void()>& wait) {
  CallLock* lock = t_owned;
  if (!lock || guestThread == GetCurrentThreadId()) {
    wait();
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock->mutex_);
    lock->guest_ = guestThread;
    lock->guestDepth_ = 0;
  }
  lock->released_.notify_all();
  try {
    wait();
  } catch (...) {
    std::lock_guard<std::mutex> guard(lock->mutex_);
    lock->guest_ = 0;
    throw;
  }
  std::lock_guard<std::mutex> guard(lock->mutex_);
  lock->guest_ = 0;
}

}  // namespace ra03v
