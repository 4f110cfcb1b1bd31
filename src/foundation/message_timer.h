#pragma once
// A window-message timer owned by the thread that creates it: its handler
// always runs on that thread, from the thread's message dispatching. It may be
// switched on and off from any thread; a request from another thread takes
// effect when the owner next dispatches messages, and a tick that arrives after
// the timer was switched off is dropped.
#include <windows.h>

#include <atomic>
#include <functional>

#include "foundation/win/unique_handle.h"

namespace ra03v {

class MessageTimer {
 public:
  // Creates the timer (switched off) on the calling thread, which must dispatch messages.
  MessageTimer(DWORD intervalMs, std::function<void()> handler);
  ~MessageTimer();
  MessageTimer(const MessageTimer&) = delete;
  MessageTimer& operator=(const MessageTimer&) = delete;

  // Switching on restarts the countdown. Any thread.
  void SetEnabled(bool enabled);
  bool Enabled() const noexcept { return enabled_.load(); }
  // Takes effect at the next switch-on (and at once when it is running). Any thread.
  void SetInterval(DWORD intervalMs);
  DWORD Interval() const noexcept { return interval_.load(); }
  DWORD OwnerThread() const noexcept { return ownerThread_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) noexcept;
  // Brings the system timer in line with enabled_ and interval_ (owner thread).
  void Apply() noexcept;
  void Request();

  std::function<void()> handler_;
  std::atomic<DWORD> interval_;
  std::atomic<bool> enabled_{false};
  DWORD ownerThread_;
  Window window_;
};

}  // namespace ra03v
