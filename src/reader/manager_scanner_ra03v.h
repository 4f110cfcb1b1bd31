#pragma once
// The RA-03V proximity-card reader as a device: while switched on it writes
// "k" to the reader every 500 ms and turns every card line the reader answers
// with into an external event "Считыватель" for the host.
//
// Threads: the constructor, switching, the poll timer and the dialog run on
// the host's calling thread; LineReceived runs on the port's event thread and
// raises the event from there.
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

  const MessageTimer& PollTimer() const noexcept { return FPollTimer; }
  ReaderTrace& Trace() noexcept { return FTrace; }

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

  MessageTimer FPollTimer;
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
