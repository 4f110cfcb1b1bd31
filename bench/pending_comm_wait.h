#pragma once
// The floor under any serial reader's idle CPU time: a port opened overlapped
// with one WaitCommEvent for received bytes left pending, as a driver's event
// thread leaves it between lines. Wine serves that wait inside the process.
#include <windows.h>

#include <string>

namespace ra03v::bench {

class PendingCommWait {
 public:
  // Opens COM<comNumber> and starts the wait; Pending() tells whether it is.
  explicit PendingCommWait(int comNumber);
  // Cancels the wait, collects it and closes the port.
  ~PendingCommWait();
  PendingCommWait(const PendingCommWait&) = delete;
  PendingCommWait& operator=(const PendingCommWait&) = delete;

  bool Pending() const noexcept { return pending_; }
  // What went wrong when the wait is not pending.
  const std::string& Failure() const noexcept { return failure_; }

 private:
  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE signal_ = nullptr;
  OVERLAPPED overlapped_{};
  DWORD occurred_ = 0;
  bool pending_ = false;
  std::string failure_;
};

}  // namespace ra03v::bench
