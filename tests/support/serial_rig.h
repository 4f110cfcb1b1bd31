#pragma once
// Helpers for tests that drive a port against the simulated reader.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "support/sim_client.h"

namespace ra03v::test {

// Sleeps in short steps until done() or timeoutMs passes; returns done().
// The limit only keeps a broken run from hanging, it asserts no timing.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

// CPU time (kernel + user) of this process in milliseconds.
double ProcessCpuMs();

// Bytes gathered by a receive handler on the event thread.
class ReceivedBytes {
 public:
  void Append(const std::string& bytes, int32_t count);
  std::string Text() const;
  int32_t Notifications() const;
  int32_t CountSum() const;
  DWORD HandlerThread() const;

 private:
  mutable std::mutex mutex_;
  std::string text_;
  int32_t notifications_ = 0;
  int32_t countSum_ = 0;
  DWORD thread_ = 0;
};

}  // namespace ra03v::test
