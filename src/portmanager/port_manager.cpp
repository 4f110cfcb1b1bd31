#include "portmanager/port_manager.h"

#include <cmath>
#include <stdexcept>

#include "foundation/error_codes.h"
#include "foundation/message_pump.h"

namespace ra03v {

namespace {

constexpr DWORD kInitialReplyTimeout = 500;
constexpr DWORD kOpenSettleMs = 30;

template <size_t N>
int RequireTableValue(const std::array<int, N>& table, int32_t index, const char* what) {
  const std::optional<int> value = TableValue(table, index);
  if (!value) throw std::out_of_range(what);
  return *value;
}

// T / L to the nearest integer, halves to the even neighbour, within 10..20.
int WriteMultiplier(int64_t totalMs, size_t length) {
  const double exact = static_cast<double>(totalMs) / static_cast<double>(length);
  const double rounded = std::nearbyint(exact);  // the default rounding mode is to even
  return static_cast<int>(std::min(20.0, std::max(10.0, rounded)));
}

// Numbers from the settings record become enumeration values only when they
// name one; anything else is refused before it can reach the device.
template <typename Enum>
Enum EnumFromNumber(int32_t number, int32_t last, const char* what) {
  if (number < 0 || number > last) throw std::out_of_range(what);
  return static_cast<Enum>(number);
}

TDTRFlowControl DtrControlFromNumber(int32_t n) {
  return EnumFromNumber<TDTRFlowControl>(n, dtrHandshake, "ControlDTR");
}
TRTSFlowControl RtsControlFromNumber(int32_t n) {
  return EnumFromNumber<TRTSFlowControl>(n, rtsToggle, "ControlRTS");
}
TFlowControl FlowControlFromNumber(int32_t n) {
  return EnumFromNumber<TFlowControl>(n, fcCustom, "FlowControl");
}

}  // namespace

TPortManager::TPortManager()
    : replyTimer_(kInitialReplyTimeout, [this] { OnReplyTimer(); }),
      support_(std::make_unique<TComSupport>()) {
  settings_.Reset();
  try {
    support_->SetPortOpen(false);
    ApplySettings(true);
  } catch (...) {
    // The reset values are always valid; nothing to report here.
  }
}

TPortManager::~TPortManager() {
  try {
    Disconnect(true);
  } catch (...) {
  }
  std::lock_guard<std::recursive_mutex> lock(lock_);
  StopAndClearLocked();
  support_->SetReceiveHandler(nullptr);
}

void TPortManager::SetDeviceTag(const std::string& tag) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  deviceTag_ = tag;
}

std::string TPortManager::DeviceTag() const {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return deviceTag_;
}

void TPortManager::ClearIgnoredChars() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  ignoredChars_.clear();
}

void TPortManager::SetLineBuffer(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  lineBuffer_ = text;
  pendingAtWrite_ = 0;
  BufferEditedLocked();
}

std::string TPortManager::LineBuffer() const {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return lineBuffer_;
}

std::string TPortManager::LineBuffer(size_t& pendingAtWrite) const {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  pendingAtWrite = std::min(pendingAtWrite_, lineBuffer_.size());
  return lineBuffer_;
}

void TPortManager::ClearLineHandlers() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  handlers_.count = 0;
  BufferEditedLocked();
}

void TPortManager::AddLineHandler(const std::string& terminator, void* owner,
                                  LineProcedure procedure) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (handlers_.count >= kMaxLineHandlers)
    throw std::runtime_error("Невозможно добавить внешнюю процедуру");
  handlers_.items[static_cast<size_t>(handlers_.count++)] = {terminator, owner, procedure};
  BufferEditedLocked();
}

void TPortManager::AddCommand(bool isWrite, int32_t expectedLength, const std::string& data) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  TCmd command;
  command.IsWrite = isWrite ? 1 : 0;
  command.ExpectedLength = expectedLength;
  command.WriteData = data;
  queue_.Add(std::move(command));
}

void TPortManager::SetRunDoneLocked(bool done) {
  runDone_ = done;
  if (done)
    runDoneEvent_.Set();
  else
    runDoneEvent_.ResetSignal();
}

void TPortManager::StopAndClearLocked() {
  replyTimer_.SetEnabled(false);
  SetRunDoneLocked(true);
  queue_.Clear();
}

void TPortManager::Execute(std::string& reply) {
  reply.clear();
  lastError_ = kPmOk;
  if (abortCheck_ && abortCheck_()) {
    {
      std::lock_guard<std::recursive_mutex> lock(lock_);
      StopAndClearLocked();
    }
    RaiseError(kErrorAborted);
  }
  if (!connectedFlag_ && listening_) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    StopAndClearLocked();
    lastError_ = kPmSwitchedOff;
    return;
  }
  if (Connect()) {
    try {
      {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        SetRunDoneLocked(false);
        replyText_.clear();
        StepLocked();
      }
      // The event thread or the reply timer ends the run; the event wakes
      // this wait at once while messages keep flowing in between.
      const HANDLE done[] = {runDoneEvent_.Get()};
      if (GetCurrentThreadId() == replyTimer_.OwnerThread()) {
        PumpedWait(done, INFINITE);
      } else {
        // A run from a line handler (a host switching its reader on from its
        // event): the timer's thread may itself be waiting for this call, so
        // the reply time is kept here as well.
        while (PumpedWait(done, replyTimer_.Interval()) < 0)
          if (replyTimer_.Enabled()) OnReplyTimer();
      }
      std::lock_guard<std::recursive_mutex> lock(lock_);
      reply = replyText_;
    } catch (...) {
      lastError_ = kPmRunFailed;
    }
    if (!settings_.keepOpen) Disconnect(false);
  } else {
    reply.clear();
    lastError_ = kPmOpenFailed;
  }
  std::lock_guard<std::recursive_mutex> lock(lock_);
  StopAndClearLocked();
}

void TPortManager::OnReplyTimer() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  StepLocked();
}

void TPortManager::StepLocked() {
  try {
    replyTimer_.SetEnabled(false);
    stepping_ = true;
    if (queue_.Empty()) {
      SetRunDoneLocked(true);
      return;
    }
    TCmd& head = queue_.Head();
    const bool readStep = !head.IsWrite;
    if (readStep) {
      replyText_ += lineBuffer_;
      if (!head.Answered) {
        StopAndClearLocked();
        return;
      }
      queue_.RemoveHead();
    } else if (head.Started && !head.Answered) {
      StopAndClearLocked();
      return;
    }
    // Only a run that waits for a reply starts it afresh. A run of writes alone
    // (a poll) leaves the line being received alone: emptying it would lose
    // that line and hand its tail on as a line of its own.
    if (readStep || queue_.HasRead()) {
      // A line being handled is whole; anything else was cut short.
      if (!lineBuffer_.empty() && !dispatching_) cutLine_ = true;
      lineBuffer_.clear();
      pendingAtWrite_ = 0;
      bufferClean_ = true;
    } else if (!dispatching_) {
      // What is pending now was there before this run writes: the line
      // handler learns whether the line it ends up in was cut by the write.
      // (A line being handled is whole and goes with its dispatch.)
      pendingAtWrite_ = lineBuffer_.size();
    }
    ContinueLocked();
  } catch (...) {
    // A step runs from timers and the event thread: it reports only through LastError.
  }
}

void TPortManager::ContinueLocked() {
  try {
    replyTimer_.SetEnabled(false);
    if (queue_.Empty()) {
      SetRunDoneLocked(true);
      return;
    }
    TCmd& head = queue_.Head();
    if (head.Started && !head.Answered) {
      StopAndClearLocked();
      lastError_ = kPmNotAnswered;
      SetRunDoneLocked(true);
    } else if (head.IsWrite) {
      WriteCommandsLocked();
    } else {
      // The read has one timer interval to complete.
      replyTimer_.SetEnabled(true);
    }
  } catch (...) {
  }
}

void TPortManager::WriteCommandsLocked() {
  try {
    replyTimer_.SetEnabled(false);
    if (!queue_.Empty() && stepping_) {
      while (!queue_.Empty() && queue_.Head().IsWrite) {
        TCmd& head = queue_.Head();
        head.Started = 1;
        if (!support_->IsConnected()) {
          lastError_ = kPmPortClosed;
          queue_.RemoveHead();
          continue;
        }
        WriteHeadLocked(head);
        if (!head.Answered) break;
        queue_.RemoveHead();
      }
      stepping_ = false;
    }
  } catch (...) {
  }
  ContinueLocked();
}

void TPortManager::WriteHeadLocked(TCmd& command) {
  // Nothing to send is trivially sent: the port is not touched.
  if (command.WriteData.empty()) {
    command.Answered = 1;
    return;
  }
  const int64_t totalMs = static_cast<int64_t>(settings_.writeTimeoutSeconds) * 1000;
  TComTimeouts& timeouts = support_->Port().Timeouts();
  timeouts.SetWriteTotalMultiplier(WriteMultiplier(totalMs, command.WriteData.size()));
  timeouts.SetWriteTotalConstant(static_cast<int>(totalMs / 2));

  std::string remaining = command.WriteData;
  for (;;) {
    const size_t handed = remaining.size();
    const int written = support_->SendText(remaining);
    if (trafficObserver_) {
      if (written > 0)
        trafficObserver_(Traffic::Written,
                         std::string_view(remaining).substr(0, static_cast<size_t>(written)));
      else
        trafficObserver_(Traffic::WriteFailed, remaining);
    }
    if (written > 0) remaining.erase(0, std::min(handed, static_cast<size_t>(written)));
    if (written <= 0 || static_cast<size_t>(written) >= handed) break;
    PumpedDelay(static_cast<DWORD>(std::max<int64_t>(1000, totalMs / 4)));
  }
  command.Answered = remaining.empty() ? 1 : 0;
}

bool TPortManager::IgnoredLocked(char byte) const {
  for (const std::string& entry : ignoredChars_)
    if (entry.size() == 1 && entry[0] == byte) return true;
  return false;
}

const TProcItem* TPortManager::TerminatedHandlerLocked() const {
  const std::string_view line(lineBuffer_);
  for (int i = 0; i < handlers_.count; ++i) {
    const TProcItem& item = handlers_.items[static_cast<size_t>(i)];
    // A clean buffer before this byte can hold a terminator only at its end.
    const bool found = bufferClean_ ? line.ends_with(item.terminator)
                                    : line.find(item.terminator) != std::string_view::npos;
    if (found) return &item;
  }
  return nullptr;
}

void TPortManager::DataReceived(TCustomComPort& port, uint16_t count) {
  std::string bytes;
  port.ReadText(bytes, count);
  if (trafficObserver_ && !bytes.empty()) trafficObserver_(Traffic::Received, bytes);
  bytesReceived_ += bytes.size();
  std::unique_lock<std::recursive_mutex> lock(lock_);
  const uint64_t session = session_;
  for (const char byte : bytes) {
    if (IgnoredLocked(byte)) {
      if (replyTimer_.Enabled()) {
        replyTimer_.SetEnabled(false);
        replyTimer_.SetEnabled(true);
      }
      continue;
    }
    lineBuffer_ += byte;
    const TProcItem* handler = TerminatedHandlerLocked();
    if (!handler) {
      bufferClean_ = true;
      continue;
    }
    // A complete line ends the pending run and its queue.
    StopAndClearLocked();
    StepLocked();
    if (cutLine_) {
      // The tail of a line a run cut: lost with its head.
      cutLine_ = false;
      lineBuffer_.clear();
      pendingAtWrite_ = 0;
      bufferClean_ = true;
      continue;
    }
    // The handler gets a zero-terminated text: a zero byte ends it there.
    const std::string text = deviceTag_ + "|" + lineBuffer_;
    const TProcItem call = *handler;
    const uint64_t edits = bufferEdits_;
    dispatching_ = true;
    lock.unlock();
    try {
      call.procedure(call.owner, text.c_str());
    } catch (...) {
      // One failing line must not stop the lines after it.
    }
    lock.lock();
    dispatching_ = false;
    // The line is handled: nothing of what follows was pending at a write.
    pendingAtWrite_ = 0;
    // The handler closed the port (switched its device off): the rest of what
    // was read belongs to a session that is over.
    if (session_ != session) return;
    if (!lineBuffer_.empty()) lineBuffer_.pop_back();
    // Untouched by the handler, the buffer is again what it was before the
    // byte: clean. Anything else is looked through once on the next byte.
    bufferClean_ = edits == bufferEdits_;
  }
  if (!queue_.Empty() && queue_.Head().ExpectedLength <= static_cast<int32_t>(lineBuffer_.size())) {
    queue_.Head().Answered = 1;
    queue_.Head().Started = 1;
    StepLocked();
  }
}

bool TPortManager::Connect() {
  lastError_ = kPmOk;
  if (support_->IsConnected()) {
    try {
      ApplySettings(false);
    } catch (...) {
      // The open port keeps its previous settings.
    }
    return true;
  }
  return OpenClosedPort(kOpenSettleMs);
}

bool TPortManager::OpenForTry() {
  lastError_ = kPmOk;
  if (support_->IsConnected()) return true;
  return OpenClosedPort(0);
}

bool TPortManager::OpenClosedPort(DWORD settleMs) {
  try {
    ApplySettings(true);
  } catch (...) {
    // A port whose settings were refused is not opened with stale ones.
    lastError_ = kPmPortClosed;
    return false;
  }
  lastError_ = kPmPortClosed;
  SetLineBuffer(std::string());
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    cutLine_ = false;
  }
  ++session_;
  try {
    support_->SetPortOpen(true);
    if (settleMs) PumpedDelay(settleMs);
  } catch (...) {
  }
  lastError_ = support_->IsConnected() ? kPmOk : kPmPortClosed;
  return lastError_ == kPmOk;
}

void TPortManager::ReleaseLost() noexcept {
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    StopAndClearLocked();
  }
  ++session_;
  // Not under the lock: closing waits for the event thread, which may be
  // waiting for the lock with bytes it has read.
  support_->Port().CloseFailedDevice();
}

bool TPortManager::Disconnect(bool wait) {
  while (wait) {
    {
      std::lock_guard<std::recursive_mutex> lock(lock_);
      if (queue_.Empty() || !replyTimer_.Enabled()) break;
    }
    const HANDLE done[] = {runDoneEvent_.Get()};
    PumpedWait(done, replyTimer_.Interval());
  }
  // The settle delay is for a port that was just closed; a closed one needs none.
  const bool wasOpen = support_->IsConnected();
  ++session_;
  if (support_->Port().OnEventThread()) {
    // A line handler switching its device off: the port closes at once
    // (nothing waits for this thread), but not under a write of the owner's run.
    std::lock_guard<std::recursive_mutex> lock(lock_);
    support_->SetPortOpen(false);
  } else {
    support_->SetPortOpen(false);
  }
  if (wasOpen) PumpedDelay(kOpenSettleMs);
  return true;
}

void TPortManager::ApplySettings(bool full) {
  const TComPortSennings s = settings_;
  TComSupport& support = *support_;
  support.SetPortNumber(RequireTableValue(kPortNumbers, s.portIndex, "ComNumber"));
  if (s.baudIndex >= 0) support.SetBaud(RequireTableValue(kBaudRates, s.baudIndex, "Baud"));
  support.SetDataBits(RequireTableValue(kDataBits, s.dataBitsIndex, "DataBits"));
  support.SetStopBits(RequireTableValue(kStopBits, s.stopBitsIndex, "StopBits"));
  support.SetParityBits(s.parity);
  if (full) {
    support.SetEventWord(s.useEventWord != 0);
    support.SetRS485Mode(s.rs485Mode != 0);
    if (s.baseAddress != 0) support.SetBaseAddress(s.baseAddress);
    support.SetInSize(s.inputBufferSize);
    support.SetOutSize(s.outputBufferSize);
    if (s.bufferFull != 0) support.SetBufferFull(s.bufferFull);
    if (s.bufferResume != 0) support.SetBufferResume(s.bufferResume);
    support.SetUnusedFlag(false);
  }
  support.SetXonXoffMode(s.softwareFlowMode);
  TComFlowControl& flow = support.Port().FlowControl();
  flow.SetControlDTR(DtrControlFromNumber(s.dtrControl));
  flow.SetControlRTS(RtsControlFromNumber(s.rtsControl));
  if (!full) return;
  // The summary comes after DTR and RTS so that its effect on them remains.
  flow.SetFlowControl(FlowControlFromNumber(s.flowControl));
  support.SetXonChar(s.xonChar);
  support.SetXoffChar(s.xoffChar);
  support.SetReceiveHandler(
      [this](TCustomComPort& port, uint16_t count) { DataReceived(port, count); });
}

}  // namespace ra03v
