#pragma once
// Runs write and read commands against one serial port for its device while
// the caller's window messages keep flowing, and assembles received bytes into
// lines for registered line handlers.
//
// Threads: the owner thread (the one that created the manager) runs Execute,
// Connect, Disconnect, the settings and the reply timer; the port's event
// thread runs DataReceived and the line handlers. One lock guards the shared
// state; it is never held while Execute waits, nor while a line handler runs.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/message_timer.h"
#include "foundation/win/event.h"
#include "portmanager/command_queue.h"
#include "portmanager/line_handlers.h"
#include "portmanager/port_settings.h"
#include "serial/com_support.h"

namespace ra03v {

// Result codes of the port manager.
enum PortManagerResult : int32_t {
  kPmOk = 0,
  kPmOpenFailed = 1,
  kPmNotAnswered = 2,
  kPmSwitchedOff = 3,
  kPmPortClosed = 51,
  kPmRunFailed = 55,
};

class TPortManager {
 public:
  // Returns true when the operation should stop.
  using AbortCheck = std::function<bool()>;
  // Told of the bytes of every write (sent, or failed) and of every read, on
  // the thread that moves them: the owner's for writes, the event thread's
  // for reads. It must be cheap and must not call back into the manager.
  enum class Traffic { Written, WriteFailed, Received };
  using TrafficObserver = std::function<void(Traffic, std::string_view)>;

  TPortManager();
  ~TPortManager();
  TPortManager(const TPortManager&) = delete;
  TPortManager& operator=(const TPortManager&) = delete;

  void SetAbortCheck(AbortCheck check) { abortCheck_ = std::move(check); }
  // Set once, before the port is first opened.
  void SetTrafficObserver(TrafficObserver observer) { trafficObserver_ = std::move(observer); }
  void SetListening(bool listening) noexcept { listening_ = listening; }
  bool Listening() const noexcept { return listening_; }
  void SetReplyTimeout(DWORD milliseconds) { replyTimer_.SetInterval(milliseconds); }
  void SetDeviceTag(const std::string& tag);
  std::string DeviceTag() const;
  void ClearIgnoredChars();
  void SetLineBuffer(const std::string& text);
  std::string LineBuffer() const;
  // The line buffer, and how many of its first bytes were already there,
  // unterminated, when a run of writes alone (a poll) last wrote a command:
  // 0 when none were. A line handler tells by it a line that a poll cut from
  // a fragment that only the poll's own reply ended.
  std::string LineBuffer(size_t& pendingAtWrite) const;
  void ClearLineHandlers();
  // Throws "Невозможно добавить внешнюю процедуру" when 20 are registered.
  void AddLineHandler(const std::string& terminator, void* owner, LineProcedure procedure);

  // Opens the port with the settings, or re-applies them to an open port.
  bool Connect();
  void AddCommand(bool isWrite, int32_t expectedLength, const std::string& data);
  // Runs the queue to its end; raises 20026 when the abort check asks to stop.
  void Execute(std::string& reply);
  void SetConnected(bool connected) noexcept { connectedFlag_ = connected; }
  bool ConnectedFlag() const noexcept { return connectedFlag_; }
  // Closes the port, first waiting for a pending read when wait is set.
  bool Disconnect(bool wait);
  // A lost reader's port: opened without the settle pause (a try must cost
  // the caller next to nothing), and let go at once, also when the device
  // has failed so badly that it refuses the usual purge.
  bool OpenForTry();
  void ReleaseLost() noexcept;
  // Bytes read from the port since the manager was made (any thread).
  uint64_t BytesReceived() const noexcept { return bytesReceived_.load(); }

  int32_t LastError() const noexcept { return lastError_; }
  TComPortSennings& Settings() noexcept { return settings_; }
  TComSupport& Support() noexcept { return *support_; }
  bool RunDone() const noexcept { return runDone_; }

 private:
  // All *Locked members need lock_ held by the calling thread.
  void StopAndClearLocked();
  void StepLocked();
  void ContinueLocked();
  void WriteCommandsLocked();
  void WriteHeadLocked(TCmd& command);
  void SetRunDoneLocked(bool done);
  void OnReplyTimer();
  // The handler whose terminator the line buffer now holds, or null. Looks
  // only where a terminator can newly end unless the buffer or the handlers
  // were changed from outside since the last look.
  const TProcItem* TerminatedHandlerLocked() const;
  bool IgnoredLocked(char byte) const;
  // The buffer or the handler table changed from outside line assembly.
  void BufferEditedLocked() noexcept {
    ++bufferEdits_;
    bufferClean_ = false;
  }
  // The port's receive handler (event thread).
  void DataReceived(TCustomComPort& port, uint16_t count);
  // Throws when a value is refused; the caller swallows it.
  void ApplySettings(bool full);
  // Connect's opening of a closed port, pausing settleMs after it.
  bool OpenClosedPort(DWORD settleMs);

  mutable std::recursive_mutex lock_;
  TCmdList queue_;
  bool stepping_ = false;
  std::atomic<bool> runDone_{true};
  Event runDoneEvent_ = Event::ManualReset(true);
  std::atomic<int32_t> lastError_{0};
  std::atomic<bool> listening_{false};
  std::vector<std::string> ignoredChars_;
  TProcItems handlers_;
  std::string deviceTag_;
  std::string lineBuffer_;
  // lineBuffer_ is known to hold no (non-empty) terminator of the handlers.
  bool bufferClean_ = true;
  uint64_t bufferEdits_ = 0;
  // A run emptied a partial line: the bytes up to its terminator are its
  // tail, never a line of their own.
  bool cutLine_ = false;
  // A line handler is running with lineBuffer_ holding its whole line.
  bool dispatching_ = false;
  // Bytes of lineBuffer_ that were pending when a run of writes alone last
  // wrote; 0 once the buffer is emptied or set from outside.
  size_t pendingAtWrite_ = 0;
  // Changes whenever the port is opened or closed: bytes read in one session
  // are not handled after a line handler ended it.
  std::atomic<uint64_t> session_{0};
  std::atomic<uint64_t> bytesReceived_{0};
  AbortCheck abortCheck_;
  TrafficObserver trafficObserver_;
  std::string replyText_;
  TComPortSennings settings_;
  std::atomic<bool> connectedFlag_{false};
  MessageTimer replyTimer_;
  // Declared last so that it goes first: closing the port ends the event
  // thread before anything it touches is destroyed.
  std::unique_ptr<TComSupport> support_;
};

}  // namespace ra03v
