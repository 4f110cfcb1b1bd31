#include "serial/com_thread.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "foundation/call_lock.h"
#include "foundation/message_pump.h"
#include "foundation/win/win_error.h"
#include "serial/com_port.h"

namespace ra03v {
namespace {

constexpr DWORD kModemLineEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;

// Masks tried in order when the device refuses one: all requested events,
// then without the modem-line events, then received characters only.
DWORD StageMask(DWORD requested, int stage) {
  switch (stage) {
    case 0:
      return requested;
    case 1:
      return requested & ~kModemLineEvents;
    case 2:
      return requested & EV_RXCHAR;
    default:
      return 0;
  }
}

// Threads whose port was closed from their own handler, until they end.
std::mutex g_retiredLock;
std::vector<std::unique_ptr<TComThread>> g_retired;

}  // namespace

TComThread::TComThread(TCustomComPort& port)
    : port_(port),
      syncMethod_(port.SyncMethod()),
      device_(port.Handle()),
      stop_(Event::ManualReset()),
      requested_(EventsToMask(port.Events())) {
  // The mask first: a device that accepts no mask at all gets no thread.
  mask_ = requested_;
  if (!SetCommMask(device_, requested_) && !FallBack())
    throw EComPort(CError_WaitFailed, static_cast<int32_t>(GetLastError()));
  // The thread holds its own reference to this module and drops it as its
  // last act: a host that unloads the library with a port still open (no
  // "__FRee") then leaves the code mapped for it instead of pulling it away
  // under a running thread or waiting for it inside the loader lock.
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&TComThread::Body), &self);
  module_ = self;
  thread_.Reset(CreateThread(nullptr, 0, &Body, this, CREATE_SUSPENDED, &threadId_));
  if (!thread_) {
    if (module_) FreeLibrary(module_);
    ThrowLastError("CreateThread");
  }
  SetThreadPriority(thread_.Get(), THREAD_PRIORITY_NORMAL);
  ResumeThread(thread_.Get());
}

TComThread::~TComThread() {
  stop_.Set();
  // The thread itself dropping the last module reference unloads the library
  // on it: it must not wait for its own end.
  if (IsCurrent() && leaving_) return;
  Sleep(0);
  const HANDLE thread = thread_.Get();
  if (syncMethod_ == smNone) {
    // The thread may be in a host event handler that calls the driver: it may
    // enter the call this thread is making while we wait for it to end.
    CallLock::WaitAdmitting(threadId_, [thread] { WaitForSingleObject(thread, INFINITE); });
  } else {
    // The thread may be waiting for this thread to run a delivery: keep
    // handling sent messages until it ends.
    try {
      PumpedWait({&thread, 1}, INFINITE);
    } catch (...) {
      WaitForSingleObject(thread, INFINITE);
    }
  }
}

void TComThread::DetachOnOwnThread() noexcept {
  stop_.Set();
  SetCommMask(device_, 0);
  PurgeComm(device_, PURGE_TXCLEAR | PURGE_RXCLEAR);
  // The loop and the body's own clean-up then act on no device at all: the
  // handle may be closed and its value reused by the next open.
  device_ = nullptr;
}

void TComThread::Retire(std::unique_ptr<TComThread> thread) {
  std::lock_guard<std::mutex> guard(g_retiredLock);
  g_retired.push_back(std::move(thread));
}

void TComThread::Reap() {
  std::vector<std::unique_ptr<TComThread>> ended;
  {
    std::lock_guard<std::mutex> guard(g_retiredLock);
    for (auto it = g_retired.begin(); it != g_retired.end();) {
      if ((*it)->Finished()) {
        ended.push_back(std::move(*it));
        it = g_retired.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Destroyed outside the lock: each destructor still waits, if only briefly.
}

bool TComThread::FallBack() {
  const DWORD current = mask_.load();
  while (++stage_ <= 2) {
    const DWORD next = StageMask(requested_, stage_);
    if (next == 0 || next == current) continue;
    if (SetCommMask(device_, next)) {
      mask_ = next;
      return true;
    }
  }
  return false;
}

DWORD WINAPI TComThread::Body(void* self) noexcept {
  auto* thread = static_cast<TComThread*>(self);
  try {
    thread->Run();
  } catch (...) {
    // An error in delivery ends the thread; the port stays open, silent.
  }
  thread->leaving_ = true;
  SetCommMask(thread->device_, 0);
  PurgeComm(thread->device_, PURGE_TXCLEAR | PURGE_RXCLEAR);
  // Nothing of the object may be touched past this point.
  if (HMODULE module = thread->module_) FreeLibraryAndExitThread(module, 0);
  return 0;
}

TComThread::RxNews TComThread::LookAtQueue() {
  // Ended before begun, begun again after the count: equal values mean no
  // read was in flight while the queue was counted, so only arrivals can
  // have made it grow since a mark taken the same way.
  const uint32_t ended = port_.ReadsEnded();
  const uint32_t begun = port_.ReadsBegun();
  const int32_t queued = port_.QueuedInputCount();
  const bool quiet = ended == begun && port_.ReadsBegun() == begun;
  RxNews news = RxNews::kNew;
  if (queued <= 0)
    news = RxNews::kNothingQueued;
  else if (quiet && mark_.valid && mark_.reads == begun && queued <= mark_.queued)
    news = RxNews::kOnlyReported;
  mark_ = {quiet, begun, queued};
  return news;
}

bool TComThread::AfterStaleWake(int staleWakes) {
  // Such a driver answers the next wait at once again: without a pause this
  // thread would spin for as long as the bytes lie unread. New bytes then
  // wait at most one pause; the stop request still wakes the thread at once.
  const DWORD pause = 1u << std::clamp(staleWakes - 1, 0, 4);
  return WaitForSingleObject(stop_.Get(), pause) == WAIT_OBJECT_0;
}

bool TComThread::AfterFailedWait(int failures) {
  // Bytes may have arrived while the wait was failing: hand them over, so that
  // a misbehaving driver delays data but never loses the notification; bytes
  // already reported are not reported again.
  if ((mask_.load() & EV_RXCHAR) && LookAtQueue() == RxNews::kNew)
    port_.DispatchEvents({evRxChar});
  // Repeated failures back off (up to 100 ms) so that a driver that fails every
  // wait at once cannot make this thread spin; the stop request still wakes it.
  if (failures < 2) return WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0;
  const DWORD delay = std::min<DWORD>(100, 5u << std::min(failures - 2, 5));
  return WaitForSingleObject(stop_.Get(), delay) == WAIT_OBJECT_0;
}

void TComThread::Run() {
  Event signal = Event::ManualReset(true);
  OVERLAPPED overlapped{};
  overlapped.hEvent = signal.Get();
  const HANDLE waitList[] = {stop_.Get(), signal.Get()};
  int failures = 0;
  int staleWakes = 0;
  for (;;) {
    DWORD occurred = 0;
    DWORD transferred = 0;
    signal.ResetSignal();
    bool delivered = false;
    if (WaitCommEvent(device_, &occurred, &overlapped)) {
      delivered = true;
    } else if (GetLastError() == ERROR_IO_PENDING) {
      const DWORD woke = WaitForMultipleObjects(2, waitList, FALSE, INFINITE);
      if (woke != WAIT_OBJECT_0 + 1) {
        // Stop request (or a broken wait): end the pending wait before the
        // record and its event go away.
        SetCommMask(device_, 0);
        CancelIo(device_);
        GetOverlappedResult(device_, &overlapped, &transferred, TRUE);
        return;
      }
      delivered = GetOverlappedResult(device_, &overlapped, &transferred, FALSE) != FALSE;
    } else if (FallBack()) {
      continue;  // the device refused an event: wait again for those it supports
    }
    if (delivered) {
      failures = 0;
      TComEvents events = MaskToEvents(occurred & mask_.load());
      // Some drivers signal received characters while any are queued, not
      // only when new ones come: bytes a handler left unread are not news.
      const bool stale = events.Has(evRxChar) && LookAtQueue() == RxNews::kOnlyReported;
      if (stale) events.Exclude(evRxChar);
      if (!events.Empty()) port_.DispatchEvents(events);
      if (stale) {
        staleWakes = std::min(staleWakes + 1, 5);
        if (AfterStaleWake(staleWakes)) return;
        continue;
      }
      staleWakes = 0;
      if (WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) return;
      continue;
    }
    if (AfterFailedWait(++failures)) return;
  }
}

}  // namespace ra03v
