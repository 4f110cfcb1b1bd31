#include "foundation/call_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ra03v {
namespace {

TEST(CallLock, SerialisesThreadsAndNests) {
  CallLock lock;
  std::atomic<bool> entered{false};
  lock.Lock();
  lock.Lock();  // the owner may enter again
  std::thread other([&] {
    CallLockGuard guard(lock);
    entered = true;
  });
  Sleep(100);
  EXPECT_FALSE(entered.load());
  lock.Unlock();
  Sleep(50);
  EXPECT_FALSE(entered.load()) << "still held once";
  lock.Unlock();
  other.join();
  EXPECT_TRUE(entered.load());
}

TEST(CallLock, TheThreadWaitedForMayEnterButNobodyElse) {
  CallLock lock;
  std::atomic<bool> guestEntered{false};
  std::atomic<bool> strangerEntered{false};
  std::atomic<DWORD> guestId{0};
  lock.Lock();

  // A stranger waits for the lock all along.
  std::thread stranger([&] {
    CallLockGuard guard(lock);
    strangerEntered = true;
  });
  // The guest needs the lock before it can end; the owner waits for its end.
  std::thread guest([&] {
    guestId = GetCurrentThreadId();
    Sleep(50);
    CallLockGuard guard(lock);
    guestEntered = true;
    EXPECT_FALSE(strangerEntered.load());
  });
  while (guestId.load() == 0) Sleep(1);
  CallLock::WaitAdmitting(guestId.load(), [&] { guest.join(); });
  EXPECT_TRUE(guestEntered.load());
  EXPECT_FALSE(strangerEntered.load());
  lock.Unlock();
  stranger.join();
  EXPECT_TRUE(strangerEntered.load());
}

TEST(CallLock, WaitingWithoutHoldingTheLockJustWaits) {
  bool ran = false;
  CallLock::WaitAdmitting(GetCurrentThreadId() + 1, [&] { ran = true; });
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace ra03v
