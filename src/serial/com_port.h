#pragma once
// TCustomComPort / TComPort: owns one serial device, its settings and, while
// open, its event thread. Settings take effect at once on an open port.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/win/event.h"
#include "foundation/win/unique_handle.h"
#include "serial/com_error.h"
#include "serial/com_settings.h"
#include "serial/com_types.h"

namespace ra03v {

class TComThread;
class TComSyncWindow;
class TComSettingsStore;

class TCustomComPort;
using TNotifyEvent = std::function<void(TCustomComPort& sender)>;
using TRxCharEvent = std::function<void(TCustomComPort& sender, int32_t count)>;
using TRxBufEvent = std::function<void(TCustomComPort& sender, const void* buffer, int32_t count)>;
using TComSignalEvent = std::function<void(TCustomComPort& sender, bool onOff)>;
using TComErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;

// Groups of settings written and read by the save and load operations.
enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
using TStoredProps = EnumSet<TStoredProp>;

class TCustomComPort {
 public:
  TCustomComPort();
  // Closes the port if open (as Close); errors there are swallowed.
  virtual ~TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  // Opens the device, configures it and starts the event thread; nothing if open.
  void Open();
  // Stops the event thread and releases the device; nothing if closed. From a
  // handler on the event thread the thread ends once that handler returns.
  void Close();
  // Close for a device that has failed (vanished, or its handle closed by the
  // system): a purge it refuses does not keep the port open, and nothing
  // escapes. Not from a handler on the event thread.
  void CloseFailedDevice() noexcept;

  bool Connected() const noexcept { return connected_; }
  void SetConnected(bool value) { value ? Open() : Close(); }
  TBaudRate BaudRate() const noexcept { return baudRate_; }
  void SetBaudRate(TBaudRate value);
  int32_t CustomBaudRate() const noexcept { return customBaudRate_; }
  void SetCustomBaudRate(int32_t value);
  const std::string& Port() const noexcept { return port_; }
  // A new name on an open port closes it and opens the new device.
  void SetPort(const std::string& value);
  TStopBits StopBits() const noexcept { return stopBits_; }
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const noexcept { return dataBits_; }
  void SetDataBits(TDataBits value);
  bool DiscardNull() const noexcept { return discardNull_; }
  void SetDiscardNull(bool value);
  char EventChar() const noexcept { return eventChar_; }
  void SetEventChar(char value);
  // Taken when the port opens.
  TComEvents Events() const noexcept { return events_; }
  void SetEvents(TComEvents value) noexcept { events_ = value; }
  TSyncMethod SyncMethod() const noexcept { return syncMethod_; }
  // Refused with EComPort 14 while the port is open.
  void SetSyncMethod(TSyncMethod value);
  TStoredProps StoredProps() const noexcept { return storedProps_; }
  void SetStoredProps(TStoredProps value) noexcept { storedProps_ = value; }

  TComBuffer& Buffer() noexcept { return buffer_; }
  TComParity& Parity() noexcept { return parity_; }
  TComTimeouts& Timeouts() noexcept { return timeouts_; }
  TComFlowControl& FlowControl() noexcept { return flowControl_; }
  const TComBuffer& Buffer() const noexcept { return buffer_; }
  const TComParity& Parity() const noexcept { return parity_; }
  const TComTimeouts& Timeouts() const noexcept { return timeouts_; }
  const TComFlowControl& FlowControl() const noexcept { return flowControl_; }
  // Copy the values of source into the port's own object and re-apply that group.
  void SetBuffer(const TComBuffer& source) { buffer_ = source; }
  void SetParity(const TComParity& source) { parity_ = source; }
  void SetTimeouts(const TComTimeouts& source) { timeouts_ = source; }
  void SetFlowControl(const TComFlowControl& source) { flowControl_ = source; }

  // The device handle (invalid while closed); the port keeps it.
  HANDLE Handle() const noexcept { return handle_.Get(); }
  // True while the event thread exists (open with a non-empty Events set).
  bool ThreadCreated() const noexcept { return threadCreated_; }
  // True on the thread that delivers this port's events.
  bool OnEventThread() const noexcept;
  // The device event mask the event thread uses (0 without a thread).
  DWORD EventMask() const noexcept;
  // True when the event thread has ended on its own (an error in delivery).
  bool ThreadEnded() const noexcept;

  // Synchronous I/O over the open device.
  int32_t WriteText(const std::string& text);
  int32_t ReadText(std::string& text, int32_t count);
  int32_t QueuedInputCount();
  // Reads begun and ended on this port so far: with them the event thread
  // tells bytes it has already reported from new ones.
  uint32_t ReadsBegun() const noexcept { return readsBegun_.load(); }
  uint32_t ReadsEnded() const noexcept { return readsEnded_.load(); }
  TModemSignals ModemSignals();
  TComErrors TakeLineErrors();
  void AbortPendingIO();

  // The device control block the line settings give.
  DCB BuildDcb() const noexcept;

  // Named-value export of the groups in StoredProps.
  void SaveSettings(TComSettingsStore& store) const;
  void LoadSettings(TComSettingsStore& store);
  virtual void SaveToRegistry(HKEY key) const;
  virtual void SaveToIniFile(const std::string& fileName) const;
  virtual void LoadFromRegistry(HKEY key);
  virtual void LoadFromIniFile(const std::string& fileName);
  // The ini section; the component's name.
  const std::string& Name() const noexcept { return name_; }
  void SetName(const std::string& value) { name_ = value; }

  // Re-apply one group to the device; nothing while closed.
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

  // Handler slots; each may be empty.
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
  TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
  TComErrorEvent OnError;
  TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;

  // Runs the handling of a set of events in the delivery order (event thread,
  // or the port's thread in the two synchronised modes).
  void DeliverEvents(TComEvents events);
  // Runs the handling step of one event.
  void DeliverEvent(TComEvent event);
  // Event thread: hands a set of events to DeliverEvents as SyncMethod says.
  void DispatchEvents(TComEvents events);

 protected:
  virtual void AcquireHandle();
  virtual void ReleaseHandle() noexcept;
  virtual void ConfigureHandle();

  virtual void DoRxChar(int32_t count);
  virtual void DoTxEmpty();
  virtual void DoBreak();
  virtual void DoRing();
  virtual void DoRxFlag();
  virtual void DoRx80Full();
  virtual void DoCTSChange(bool onOff);
  virtual void DoDSRChange(bool onOff);
  virtual void DoRLSDChange(bool onOff);
  virtual void DoError(TComErrors errors);
  virtual void DoAfterOpen();
  virtual void DoAfterClose();
  virtual void DoBeforeOpen();
  virtual void DoBeforeClose();

 private:
  void CloseDevice(bool evenIfPurgeFails);
  std::unique_ptr<TComThread> thread_;
  bool threadCreated_ = false;
  FileHandle handle_;
  // Set while Close runs: a read or write still waiting then gives up, so
  // that a handler cannot keep the event thread (and with it Close) waiting.
  Event closing_ = Event::ManualReset();
  std::atomic<uint32_t> readsBegun_{0};
  std::atomic<uint32_t> readsEnded_{0};
  std::unique_ptr<TComSyncWindow> window_;
  bool connected_ = false;
  // Set while a Close runs, so that a handler's Close on the event thread it
  // waits for returns at once.
  std::atomic<bool> closeBusy_{false};
  TBaudRate baudRate_ = br9600;
  int32_t customBaudRate_ = 9600;
  std::string port_ = "COM1";
  TStopBits stopBits_ = sbOneStopBit;
  TDataBits dataBits_ = dbEight;
  bool discardNull_ = false;
  char eventChar_ = 0;
  TComEvents events_ = kAllComEvents;
  TComBuffer buffer_{this};
  TComParity parity_{this};
  TComTimeouts timeouts_{this};
  TComFlowControl flowControl_{this};
  TSyncMethod syncMethod_ = smThreadSync;
  TStoredProps storedProps_{spBasic};
  std::string name_;
};

// The port as the system uses it.
class TComPort : public TCustomComPort {};

}  // namespace ra03v
