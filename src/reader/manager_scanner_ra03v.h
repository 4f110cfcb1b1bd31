#pragma once
// The RA-03V proximity-card reader as a device: while switched on it writes
// "k" to the reader every 500 ms and turns every card line the reader answers
// with into an external event "Считыватель" for the host.
//
// A switched-on reader whose port fails, or that stops answering polls, is
// lost: "Результат" reads 2 while the driver closes the port and tries it
// again about once a second, then sends the init sequence and polls again.
//
// Threads: the constructor, switching, the poll and recovery timers and the
// dialog run on the host's calling thread; LineReceived runs on the port's
// event thread and raises the card event from there.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/device_item.h"
#include "devices/devices_list.h"
#include "foundation/message_timer.h"
#include "reader/reader_trace.h"
#include "reader/repeat_filter.h"

namespace ra03v {

// The event name and the reader's own poll interval property.
inline constexpr std::string_view kReaderEventName = "Считыватель";
inline constexpr std::string_view kPollIntervalProp = "ИнтервалОпроса";
// Milliseconds within which a repeated read of the same card raises nothing.
inline constexpr std::string_view kRepeatWindowProp = "ПодавлениеПовторов";
// 1: the reader's happenings go to the library's trace file.
inline constexpr std::string_view kTraceProp = "Трассировка";
// 1 (default): a lost reader is recovered by itself; 0: polls fail silently.
inline constexpr std::string_view kReconnectProp = "Переподключение";
// 1: the host also gets a status event at a loss and at a recovery.
inline constexpr std::string_view kLinkEventsProp = "СобытияСвязи";
inline constexpr std::string_view kStatusEventName = "СостояниеСчитывателя";
inline constexpr std::string_view kLinkLostData = "НетСвязи";
inline constexpr std::string_view kLinkBackData = "СвязьВосстановлена";
// "Результат" of a lost reader: "Нет связи".
inline constexpr int32_t kResultNoLink = 2;
// The most characters of a line that make up the card data.
inline constexpr size_t kCardDataLength = 8;

// The card data of one assembled line (terminator included), or nothing when
// the line carries none: a first "OK" CR LF is removed, the rest is cut to 8
// characters, and blank data (codes up to 32 only) give no card.
bool CutCardData(std::string line, std::string& card);

// Whether an assembled line is a fragment that was pending, unterminated, when
// a poll was written (its first pendingAtPoll bytes) and that the poll's reply
// "OK" CR LF alone then ended: noise, no card.
bool IsNoiseEndedByPollReply(std::string_view line, size_t pendingAtPoll);
// Tells a reader that has gone quiet from one that never spoke: polls that
// bring no byte count only once the reader has answered since switch-on.
class TSilenceWatch {
 public:
  static constexpr int kSilentPollsForLoss = 4;
  // bytes: the port's count now; answered: whether the reader has spoken.
  void Start(uint64_t bytes, bool answered) noexcept;
  // Before each poll, with the port's count: true once kSilentPollsForLoss
  // polls in a row brought nothing from a reader that had answered.
  bool SilentTooLong(uint64_t bytes) noexcept;

 private:
  uint64_t lastBytes_ = 0;
  bool answered_ = false;
  int silentPolls_ = 0;
};

// Why a reader was lost.
enum class LossCause { kPortFailed, kSilent };

class TManagerScanner_RA03V : public TDeviceItem {
 public:
  explicit TManagerScanner_RA03V(TDevicesList& list);
  ~TManagerScanner_RA03V() override;

  int32_t ShowSettingsDialog() override;
  void PrepareSettingsDialog() override;
  void SetDeviceActive(int32_t mode) override;
  bool DeviceOpen() override;
  bool DeviceClose() override;
  void SetupPortManager() override;
  void LineReceived(const char* text) override;
  // Suppression and trace follow their properties at once, also while on.
  void SetProperty(std::string_view name, std::string_view value) override;

  int32_t ReportedResult() const noexcept override;

  const MessageTimer& PollTimer() const noexcept { return FPollTimer; }
  ReaderTrace& Trace() noexcept { return FTrace; }
  bool Lost() const noexcept { return FLost; }

 protected:
  void StopTimers() noexcept override;

 private:
  void SendInitSequence();
  void SendStopCommand() noexcept;
  void PollTick();
  void HandleLine(std::string_view whole);
  void RaiseCardEvent(const std::string& card);
  // Takes suppression and trace from the properties.
  void ApplyReaderOptions() noexcept;
  void TraceTraffic(TPortManager::Traffic kind, std::string_view bytes) noexcept;
  // The text of a port manager code.
  std::string PortResultText(int32_t code);
  void TraceSwitchedOn(bool ok, int32_t portResult) noexcept;
  void TraceSwitchedOff() noexcept;

  void RaiseHostEvent(std::string_view name, const std::wstring& data);
  // A non-numeric stored value counts as the row's default.
  int32_t IntPropertyOr(std::string_view name, int32_t fallback);

  // Loss and recovery, each happening in one place (host's thread).
  bool PortFailed();
  void OnLost(LossCause cause);
  void RecoveryTick();
  void OnRecoveryTry();
  void OnProbeAnswerDue();
  void OnRecovered();
  void ScheduleRecovery(DWORD afterMs);
  // Ends a loss (switching off or on again): no try is left, the port is closed.
  void EndLoss() noexcept;

  MessageTimer FPollTimer;
  MessageTimer FRecoveryTimer;
  // Read at switch-on.
  bool FReconnect = false;
  bool FLinkEvents = false;
  std::atomic<bool> FLost{false};
  // A try opened the port and sent "n": its answer is checked next tick.
  bool FProbing = false;
  uint64_t FBytesAtProbe = 0;
  // Tries since the loss began, for the trace.
  int FRecoveryTries = 0;
  // Changes at every switch and loss end, so that a try or recovery whose
  // message loop saw the host switch the reader is abandoned.
  std::atomic<uint32_t> FLinkEpoch{0};
  TSilenceWatch FSilence;
  RepeatFilter FRepeats;
  ReaderTrace FTrace;
  // A switch-on that fails switches off on the way: one line tells both.
  bool FSwitchingOn = false;
};

class TManagerScanner_RA03VList : public TDevicesList {
 public:
  TManagerScanner_RA03VList();
  std::string GetErrorText(int32_t code) override;
};

}  // namespace ra03v
