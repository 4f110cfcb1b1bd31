#include "support/serial_rig.h"

namespace ra03v::test {

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return done();
    Sleep(10);
  }
  return true;
}

double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME f) {
    return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

void ReceivedBytes::Append(const std::string& bytes, int32_t count) {
  std::lock_guard lock(mutex_);
  text_ += bytes;
  ++notifications_;
  countSum_ += count;
  thread_ = GetCurrentThreadId();
}

std::string ReceivedBytes::Text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

int32_t ReceivedBytes::Notifications() const {
  std::lock_guard lock(mutex_);
  return notifications_;
}

int32_t ReceivedBytes::CountSum() const {
  std::lock_guard lock(mutex_);
  return countSum_;
}

DWORD ReceivedBytes::HandlerThread() const {
  std::lock_guard lock(mutex_);
  return thread_;
}

}  // namespace ra03v::test
