#include "pending_comm_wait.h"

namespace ra03v::bench {

namespace {

std::string Failed(const char* call) {
  return std::string(call) + " failed, error " + std::to_string(GetLastError());
}

}  // namespace

PendingCommWait::PendingCommWait(int comNumber) {
  const std::string name = "\\\\.\\COM" + std::to_string(comNumber);
  port_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED, nullptr);
  if (port_ == INVALID_HANDLE_VALUE) {
    failure_ = Failed("CreateFile");
    return;
  }
  signal_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!signal_) {
    failure_ = Failed("CreateEvent");
    return;
  }
  if (!SetCommMask(port_, EV_RXCHAR)) {
    failure_ = Failed("SetCommMask");
    return;
  }
  overlapped_.hEvent = signal_;
  if (WaitCommEvent(port_, &occurred_, &overlapped_)) {
    failure_ = "WaitCommEvent finished at once";
  } else if (GetLastError() != ERROR_IO_PENDING) {
    failure_ = Failed("WaitCommEvent");
  } else {
    pending_ = true;
  }
}

PendingCommWait::~PendingCommWait() {
  if (pending_) {
    // The overlapped block must stay valid until the cancelled wait is collected.
    SetCommMask(port_, 0);
    CancelIo(port_);
    DWORD bytes = 0;
    GetOverlappedResult(port_, &overlapped_, &bytes, TRUE);
  }
  if (signal_) CloseHandle(signal_);
  if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
}

}  // namespace ra03v::bench
