#include "foundation/message_pump.h"

#include <gtest/gtest.h>

#include "foundation/win/event.h"
#include "foundation/win/unique_handle.h"

namespace ra03v {
namespace {

// A message-only window that counts the messages it is sent.
class CountingWindow {
 public:
  CountingWindow() {
    WNDCLASSW cls{};
    cls.lpfnWndProc = &Proc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"ra03v_counting_window";
    RegisterClassW(&cls);
    window_.Reset(CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  cls.hInstance, nullptr));
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  HWND Get() const { return window_.Get(); }
  int received = 0;
  DWORD lastTick = 0;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) {
      auto* self = reinterpret_cast<CountingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      ++self->received;
      self->lastTick = GetTickCount();
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  Window window_;
};

double ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME f) {
    return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

// This process's counting window: a search by class name could find the one of
// another test process running at the same time.
HWND g_countingWindow = nullptr;

// Win32 callbacks are stdcall on 32 bits, which a lambda cannot convert to.
void CALLBACK PostToCountingWindow(HWND, UINT, UINT_PTR, DWORD) {
  PostMessageW(g_countingWindow, WM_APP, 0, 0);
}

DWORD WINAPI SignalAfter50Ms(void* event) {
  Sleep(50);
  SetEvent(static_cast<HANDLE>(event));
  return 0;
}

TEST(PumpedDelay, ZeroReturnsAtOnce) {
  const DWORD start = GetTickCount();
  PumpedDelay(0);
  EXPECT_LT(GetTickCount() - start, 50u);
}

TEST(PumpedDelay, HandlesMessagesPostedDuringTheWait) {
  CountingWindow window;
  ASSERT_NE(nullptr, window.Get());
  PostMessageW(window.Get(), WM_APP, 0, 0);
  g_countingWindow = window.Get();
  // A timer posts another message in the middle of the wait.
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &PostToCountingWindow);
  const DWORD start = GetTickCount();
  PumpedDelay(300);
  const DWORD elapsed = GetTickCount() - start;
  KillTimer(nullptr, timer);
  EXPECT_GE(window.received, 2);
  EXPECT_GE(elapsed, 290u);
}

TEST(PumpedDelay, SleepsInsteadOfSpinning) {
  // The bound is loose on purpose (shared machines): a spinning wait uses
  // nearly all of the wall time; a sleeping one uses next to none.
  const double before = ThreadCpuMs();
  PumpedDelay(500);
  EXPECT_LT(ThreadCpuMs() - before, 250.0);
}

TEST(PumpedWait, ReturnsTheSignalledHandleWhileMessagesFlow) {
  Event first = Event::ManualReset();
  Event second = Event::ManualReset();
  second.Set();
  const HANDLE handles[] = {first.Get(), second.Get()};
  EXPECT_EQ(1, PumpedWait(handles, 1000));
  second.ResetSignal();
  EXPECT_EQ(-1, PumpedWait(handles, 30));
}

TEST(PumpedWait, WakesWhenAnotherThreadSignals) {
  Event done = Event::ManualReset();
  Handle thread(CreateThread(nullptr, 0, &SignalAfter50Ms, done.Get(), 0, nullptr));
  const HANDLE handles[] = {done.Get()};
  const DWORD start = GetTickCount();
  EXPECT_EQ(0, PumpedWait(handles, 5000));
  EXPECT_LT(GetTickCount() - start, 2000u);
  WaitForSingleObject(thread.Get(), INFINITE);
}

TEST(ProcessMessages, EmptiesTheQueue) {
  CountingWindow window;
  for (int i = 0; i < 5; ++i) PostMessageW(window.Get(), WM_APP, 0, 0);
  ProcessMessages();
  EXPECT_EQ(5, window.received);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

}  // namespace
}  // namespace ra03v
