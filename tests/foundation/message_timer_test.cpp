#include "foundation/message_timer.h"

#include <gtest/gtest.h>

#include <atomic>

#include "foundation/message_pump.h"
#include "foundation/win/unique_handle.h"

namespace ra03v {
namespace {

// Runs f on a new thread and waits for it.
template <typename F>
void OnOtherThread(F f) {
  struct Call {
    F* f;
    static DWORD WINAPI Run(void* p) {
      (*static_cast<Call*>(p)->f)();
      return 0;
    }
  } call{&f};
  Handle thread(CreateThread(nullptr, 0, &Call::Run, &call, 0, nullptr));
  WaitForSingleObject(thread.Get(), INFINITE);
}

TEST(MessageTimer, TicksOnTheOwnerThreadOnlyWhileEnabled) {
  std::atomic<int> ticks{0};
  DWORD tickThread = 0;
  MessageTimer timer(20, [&] {
    ++ticks;
    tickThread = GetCurrentThreadId();
  });
  EXPECT_FALSE(timer.Enabled());
  PumpedDelay(100);
  EXPECT_EQ(0, ticks.load());
  timer.SetEnabled(true);
  PumpedDelay(300);
  EXPECT_GE(ticks.load(), 2);
  EXPECT_EQ(GetCurrentThreadId(), tickThread);
  timer.SetEnabled(false);
  const int stopped = ticks.load();
  PumpedDelay(150);
  EXPECT_EQ(stopped, ticks.load());
}

TEST(MessageTimer, AnotherThreadSwitchesItAndTheOwnerRunsIt) {
  std::atomic<int> ticks{0};
  DWORD tickThread = 0;
  MessageTimer timer(20, [&] {
    ++ticks;
    tickThread = GetCurrentThreadId();
  });
  OnOtherThread([&] { timer.SetEnabled(true); });
  EXPECT_TRUE(timer.Enabled());
  PumpedDelay(300);
  EXPECT_GE(ticks.load(), 2);
  EXPECT_EQ(GetCurrentThreadId(), tickThread);

  OnOtherThread([&] { timer.SetEnabled(false); });
  // Ticks that were already queued are dropped once it is off.
  const int stopped = ticks.load();
  PumpedDelay(150);
  EXPECT_EQ(stopped, ticks.load());
}

TEST(MessageTimer, SwitchingOnAgainRestartsTheCountdown) {
  std::atomic<int> ticks{0};
  MessageTimer timer(2000, [&] { ++ticks; });
  timer.SetEnabled(true);
  for (int i = 0; i < 5; ++i) {
    PumpedDelay(150);
    timer.SetEnabled(false);
    timer.SetEnabled(true);
  }
  EXPECT_EQ(0, ticks.load());
  timer.SetInterval(20);
  PumpedDelay(200);
  EXPECT_GE(ticks.load(), 1);
}

TEST(MessageTimer, HandlerFailureDoesNotEscape) {
  std::atomic<int> calls{0};
  MessageTimer timer(20, [&] {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  timer.SetEnabled(true);
  PumpedDelay(200);
  EXPECT_GE(calls.load(), 2);
}

}  // namespace
}  // namespace ra03v
