// The port's synchronous I/O and device queries.
#include <algorithm>
#include <vector>

#include "foundation/win/event.h"
#include "foundation/win/scope_exit.h"
#include "serial/com_port.h"

namespace ra03v {
namespace {

// One read or write in flight: its OVERLAPPED record with an own event.
struct AsyncRequest {
  AsyncRequest() : event(Event::ManualReset(true)) { overlapped.hEvent = event.Get(); }
  Event event;
  OVERLAPPED overlapped{};
};

// Waits without time limit for the request, or for the port to start closing;
// then the request is cancelled and what it moved so far counts. Returns
// false on failure, with the system's error as the last error.
bool Complete(HANDLE device, AsyncRequest& request, HANDLE closing, DWORD& transferred) {
  const HANDLE waitList[] = {request.event.Get(), closing};
  const DWORD woke = WaitForMultipleObjects(2, waitList, FALSE, INFINITE);
  if (woke == WAIT_OBJECT_0)
    return GetOverlappedResult(device, &request.overlapped, &transferred, FALSE) != FALSE;
  if (woke != WAIT_OBJECT_0 + 1) return false;
  CancelIoEx(device, &request.overlapped);
  // The record must outlive the request: wait until the cancellation is done.
  if (GetOverlappedResult(device, &request.overlapped, &transferred, TRUE)) return true;
  transferred = static_cast<DWORD>(request.overlapped.InternalHigh);
  return GetLastError() == ERROR_OPERATION_ABORTED;
}

// The number of bytes in the driver's receive queue; false on failure, with
// the system's error as the last error. Also clears the driver's error state.
bool QueuedBytes(HANDLE device, int32_t& queued) {
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(device, &errors, &stat)) return false;
  queued = static_cast<int32_t>(stat.cbInQue);
  return true;
}

}  // namespace

int32_t TCustomComPort::WriteText(const std::string& text) {
  if (text.empty()) return 0;  // the device is not touched
  AsyncRequest request;
  // The request's own copy: the caller's text may change while the write runs.
  const std::vector<char> data(text.begin(), text.end());
  DWORD transferred = 0;
  if (!WriteFile(handle_.Get(), data.data(), static_cast<DWORD>(data.size()), nullptr,
                 &request.overlapped) &&
      GetLastError() != ERROR_IO_PENDING)
    RaiseComPortLastError(CError_WriteFailed);
  // A small write may finish at once; the event is then signalled already.
  if (!Complete(handle_.Get(), request, closing_.Get(), transferred))
    RaiseComPortLastError(CError_WriteFailed);
  return static_cast<int32_t>(transferred);
}

int32_t TCustomComPort::ReadText(std::string& text, int32_t count) {
  text.clear();
  if (count <= 0) return 0;
  ++readsBegun_;
  ScopeExit ended([this] { ++readsEnded_; });
  // Never ask for more than is queued: some drivers keep a read pending on an
  // empty queue even with the return-at-once timeouts, and the caller expects
  // at once what is there. A device that cannot say fails the read.
  int32_t queued = 0;
  if (!QueuedBytes(handle_.Get(), queued)) RaiseComPortLastError(CError_ReadFailed);
  const int32_t toRead = std::min(count, queued);
  if (toRead <= 0) return 0;
  AsyncRequest request;
  text.resize(static_cast<size_t>(toRead));
  DWORD transferred = 0;
  if (!ReadFile(handle_.Get(), text.data(), static_cast<DWORD>(toRead), nullptr,
                &request.overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    text.clear();
    RaiseComPortLastError(CError_ReadFailed);
  }
  if (!Complete(handle_.Get(), request, closing_.Get(), transferred)) {
    text.clear();
    RaiseComPortLastError(CError_ReadFailed);
  }
  text.resize(transferred);
  return static_cast<int32_t>(transferred);
}

int32_t TCustomComPort::QueuedInputCount() {
  int32_t queued = 0;
  if (!QueuedBytes(handle_.Get(), queued)) RaiseComPortLastError(CError_ClearComFailed);
  return queued;
}

TComErrors TCustomComPort::TakeLineErrors() {
  DWORD word = 0;
  COMSTAT stat{};
  if (!ClearCommError(handle_.Get(), &word, &stat)) RaiseComPortLastError(CError_ClearComFailed);
  TComErrors errors;
  if (word & CE_FRAME) errors.Include(ceFrame);
  if ((word & CE_RXPARITY) && parity_.Check()) errors.Include(ceRxParity);
  if (word & CE_OVERRUN) errors.Include(ceOverrun);
  if (word & CE_BREAK) errors.Include(ceBreak);
  if (word & CE_IOE) errors.Include(ceIO);
  if (word & CE_MODE) errors.Include(ceMode);
  if (word & CE_RXOVER) errors.Include(ceRxOver);
  if (word & CE_TXFULL) errors.Include(ceTxFull);
  return errors;
}

TModemSignals TCustomComPort::ModemSignals() {
  DWORD status = 0;
  if (!GetCommModemStatus(handle_.Get(), &status)) RaiseComPortLastError(CError_ModemStatFailed);
  TModemSignals s;
  s.CTS = (status & MS_CTS_ON) != 0;
  s.DSR = (status & MS_DSR_ON) != 0;
  s.Ring = (status & MS_RING_ON) != 0;
  s.RLSD = (status & MS_RLSD_ON) != 0;
  return s;
}

void TCustomComPort::AbortPendingIO() {
  if (!PurgeComm(handle_.Get(), PURGE_TXABORT | PURGE_RXABORT))
    RaiseComPortLastError(CError_PurgeFailed);
}

}  // namespace ra03v
