#include "serial/com_port.h"

#include "foundation/error_codes.h"
#include "foundation/win/scope_exit.h"

#include "serial/com_sync_window.h"
#include "serial/com_thread.h"

namespace ra03v {

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the handle and the thread are released below.
  }
  thread_.reset();
  window_.reset();
}

void TCustomComPort::Open() {
  if (connected_) return;
  TComThread::Reap();
  DoBeforeOpen();
  AcquireHandle();
  closing_.ResetSignal();
  connected_ = true;
  try {
    ConfigureHandle();
  } catch (...) {
    ReleaseHandle();
    connected_ = false;
    throw;
  }
  threadCreated_ = false;
  if (!events_.Empty()) {
    try {
      if (syncMethod_ != smNone) window_ = std::make_unique<TComSyncWindow>(*this);
      thread_ = std::make_unique<TComThread>(*this);
      threadCreated_ = true;
    } catch (...) {
      // Without its thread the port would look open but never deliver.
      window_.reset();
      ReleaseHandle();
      connected_ = false;
      throw;
    }
  }
  DoAfterOpen();
  // A device that cannot report its modem lines (several USB adapters) still
  // carries data: the open port is not reported as a failure, the initial
  // signal report is skipped instead.
  DWORD status = 0;
  if (GetCommModemStatus(handle_.Get(), &status)) {
    DoCTSChange((status & MS_CTS_ON) != 0);
    DoDSRChange((status & MS_DSR_ON) != 0);
    DoRLSDChange((status & MS_RLSD_ON) != 0);
  }
}

void TCustomComPort::Close() { CloseDevice(false); }

void TCustomComPort::CloseFailedDevice() noexcept {
  try {
    CloseDevice(true);
  } catch (...) {
    // A close handler failing: the device is let go all the same below.
  }
  if (connected_ && !closeBusy_) {
    closing_.Set();
    thread_.reset();
    threadCreated_ = false;
    window_.reset();
    ReleaseHandle();
    connected_ = false;
  }
}

void TCustomComPort::CloseDevice(bool evenIfPurgeFails) {
  // A handler that closes the port while another thread is already closing it
  // (and waiting for this very handler to return) has nothing left to do.
  if (!connected_ || closeBusy_.exchange(true)) return;
  ScopeExit done([this] { closeBusy_ = false; });
  TComThread::Reap();
  // On the event thread itself (a handler switching its device off) the
  // thread cannot be waited for: it lets the device go now and ends as soon
  // as the handler returns, so the port is closed when this returns.
  const bool fromOwnThread = threadCreated_ && thread_->IsCurrent();
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
  DoBeforeClose();
  closing_.Set();
  try {
    AbortPendingIO();
  } catch (...) {
    if (!evenIfPurgeFails) {
      closing_.ResetSignal();
      throw;
    }
  }
  if (threadCreated_) {
    if (fromOwnThread) {
      thread_->DetachOnOwnThread();
      TComThread::Retire(std::move(thread_));
    } else {
      thread_.reset();
    }
    threadCreated_ = false;
    window_.reset();
  }
  ReleaseHandle();
  connected_ = false;
  DoAfterClose();
}

bool TCustomComPort::OnEventThread() const noexcept {
  return threadCreated_ && thread_ && thread_->IsCurrent();
}

void TCustomComPort::AcquireHandle() {
  const std::string name = "\\\\.\\" + port_;
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) RaiseComPortLastError(CError_OpenFailed);
  handle_.Reset(h);
}

void TCustomComPort::ReleaseHandle() noexcept { handle_.Reset(); }

void TCustomComPort::ConfigureHandle() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

DCB TCustomComPort::BuildDcb() const noexcept {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate =
      static_cast<DWORD>(baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_));
  dcb.fBinary = 1;
  dcb.fParity = parity_.Check() ? 1 : 0;
  dcb.fOutxCtsFlow = flowControl_.OutCTSFlow() ? 1 : 0;
  dcb.fOutxDsrFlow = flowControl_.OutDSRFlow() ? 1 : 0;
  dcb.fDtrControl = flowControl_.ControlDTR();  // disable, enable, handshake = 0, 1, 2
  dcb.fRtsControl = flowControl_.ControlRTS();  // disable, enable, handshake, toggle = 0..3
  dcb.fDsrSensitivity = flowControl_.DSRSensitivity() ? 1 : 0;
  dcb.fTXContinueOnXoff = flowControl_.TxContinueOnXoff() ? 1 : 0;
  dcb.fOutX = flowControl_.XonXoffOut() ? 1 : 0;
  dcb.fInX = flowControl_.XonXoffIn() ? 1 : 0;
  if (parity_.Check() && parity_.Replace()) {
    dcb.fErrorChar = 1;
    dcb.ErrorChar = parity_.ReplaceChar();
  }
  dcb.fNull = discardNull_ ? 1 : 0;
  dcb.fAbortOnError = 0;
  dcb.XonLim = static_cast<WORD>(buffer_.InputSize() / 4);
  dcb.XoffLim = static_cast<WORD>(buffer_.InputSize() / 4);
  dcb.ByteSize = static_cast<BYTE>(5 + dataBits_);
  dcb.Parity = parity_.Bits();  // NOPARITY..SPACEPARITY = 0..4
  dcb.StopBits = stopBits_;     // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS = 0, 1, 2
  dcb.XonChar = flowControl_.XonChar();
  dcb.XoffChar = flowControl_.XoffChar();
  dcb.EvtChar = eventChar_;
  return dcb;
}

void TCustomComPort::ApplyLineSettings() {
  if (!connected_) return;
  DCB dcb = BuildDcb();
  if (!SetCommState(handle_.Get(), &dcb)) RaiseComPortLastError(CError_SetStateFailed);
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!connected_) return;
  COMMTIMEOUTS t = timeouts_.ToDevice();
  if (!SetCommTimeouts(handle_.Get(), &t)) RaiseComPortLastError(CError_TimeoutsFailed);
}

void TCustomComPort::ApplyBufferSizes() {
  if (!connected_) return;
  if (!SetupComm(handle_.Get(), static_cast<DWORD>(buffer_.InputSize()),
                 static_cast<DWORD>(buffer_.OutputSize())))
    RaiseComPortLastError(CError_SetupComFailed);
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (value > kLastBaudRate) RaiseOutOfRange("BaudRate", value);
  if (value == baudRate_) return;
  baudRate_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t value) {
  if (value == customBaudRate_) return;
  customBaudRate_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& value) {
  if (value == port_) return;
  port_ = value;
  if (connected_) {
    Close();
    Open();
  }
}

void TCustomComPort::SetStopBits(TStopBits value) {
  if (value > kLastStopBits) RaiseOutOfRange("StopBits", value);
  if (value == stopBits_) return;
  stopBits_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value) {
  if (value > kLastDataBits) RaiseOutOfRange("DataBits", value);
  if (value == dataBits_) return;
  dataBits_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value) {
  if (value == discardNull_) return;
  discardNull_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char value) {
  if (value == eventChar_) return;
  eventChar_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value > kLastSyncMethod) RaiseOutOfRange("SyncMethod", value);
  if (value == syncMethod_) return;
  if (connected_) throw EComPort(CError_ConnChangeProp);
  syncMethod_ = value;
}

DWORD TCustomComPort::EventMask() const noexcept { return thread_ ? thread_->Mask() : 0; }

bool TCustomComPort::ThreadEnded() const noexcept { return thread_ && thread_->Finished(); }

void TCustomComPort::DispatchEvents(TComEvents events) {
  if (syncMethod_ == smNone || !window_) {
    DeliverEvents(events);
  } else if (syncMethod_ == smThreadSync) {
    window_->Synchronize(events);
  } else {
    window_->PostEvents(events);
  }
}

void TCustomComPort::DeliverEvents(TComEvents events) {
  static constexpr TComEvent kOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                         evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
  // A handler that closed the port (or closed and opened it again) ends the
  // delivery: the rest belongs to a device that is gone.
  const TComThread* deliverer = thread_.get();
  for (TComEvent e : kOrder) {
    if (!events.Has(e)) continue;
    DeliverEvent(e);
    if (!connected_ || thread_.get() != deliverer) return;
  }
}

void TCustomComPort::DeliverEvent(TComEvent event) {
  switch (event) {
    case evError: {
      const TComErrors errors = TakeLineErrors();
      if (!errors.Empty()) DoError(errors);
      break;
    }
    case evRxChar: {
      const int32_t count = QueuedInputCount();
      if (count > 0) DoRxChar(count);
      break;
    }
    case evTxEmpty:
      DoTxEmpty();
      break;
    case evBreak:
      DoBreak();
      break;
    case evRing:
      DoRing();
      break;
    case evCTS:
      DoCTSChange(ModemSignals().CTS);
      break;
    case evDSR:
      DoDSRChange(ModemSignals().DSR);
      break;
    case evRxFlag:
      DoRxFlag();
      break;
    case evRLSD:
      DoRLSDChange(ModemSignals().RLSD);
      break;
    case evRx80Full:
      DoRx80Full();
      break;
  }
}

void TCustomComPort::DoRxChar(int32_t count) {
  if (OnRxChar) OnRxChar(*this, count);
}
void TCustomComPort::DoTxEmpty() {
  if (OnTxEmpty) OnTxEmpty(*this);
}
void TCustomComPort::DoBreak() {
  if (OnBreak) OnBreak(*this);
}
void TCustomComPort::DoRing() {
  if (OnRing) OnRing(*this);
}
void TCustomComPort::DoRxFlag() {
  if (OnRxFlag) OnRxFlag(*this);
}
void TCustomComPort::DoRx80Full() {
  if (OnRx80Full) OnRx80Full(*this);
}
void TCustomComPort::DoCTSChange(bool onOff) {
  if (OnCTSChange) OnCTSChange(*this, onOff);
}
void TCustomComPort::DoDSRChange(bool onOff) {
  if (OnDSRChange) OnDSRChange(*this, onOff);
}
void TCustomComPort::DoRLSDChange(bool onOff) {
  if (OnRLSDChange) OnRLSDChange(*this, onOff);
}
void TCustomComPort::DoError(TComErrors errors) {
  if (OnError) OnError(*this, errors);
}
void TCustomComPort::DoAfterOpen() {
  if (OnAfterOpen) OnAfterOpen(*this);
}
void TCustomComPort::DoAfterClose() {
  if (OnAfterClose) OnAfterClose(*this);
}
void TCustomComPort::DoBeforeOpen() {
  if (OnBeforeOpen) OnBeforeOpen(*this);
}
void TCustomComPort::DoBeforeClose() {
  if (OnBeforeClose) OnBeforeClose(*this);
}

}  // namespace ra03v
