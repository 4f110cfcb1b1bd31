#pragma once
// One reader's lines in the trace file: what it wrote and received, the cards
// it raised or suppressed, switching, loss and recovery. Each line is the
// local time with milliseconds, the device number and identifier, and the
// happening. Nothing is written while the trace is off.
//
// Threads: every entry point may run on the host's thread or on the port's
// event thread; each costs a formatted line and a short lock, never the disk,
// and none throws.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace ra03v {

class TraceWriter;

class ReaderTrace {
 public:
  ReaderTrace() noexcept;

  void SetEnabled(bool on) noexcept { enabled_ = on; }
  bool Enabled() const noexcept { return enabled_; }
  // Who the lines are about: the device's number in its list and its code.
  void SetDevice(int number, const GUID& code) noexcept;
  // Where the lines go (the library's trace file unless told otherwise).
  void UseWriter(TraceWriter* writer) noexcept { writer_ = writer; }

  void Written(std::string_view bytes) noexcept;
  void WriteFailed(std::string_view bytes) noexcept;
  void Received(std::string_view bytes) noexcept;
  void CardRaised(std::string_view card) noexcept;
  void CardSuppressed(std::string_view card, uint64_t gapMs) noexcept;
  // result is the device's result code after the switch, with its text.
  void SwitchedOn(std::string_view port, int32_t result, std::string_view text) noexcept;
  // result is how the stop command went, with its text.
  void SwitchedOff(int32_t result, std::string_view text) noexcept;
  // The connection is lost; reason says how it showed.
  void Lost(std::string_view reason) noexcept;
  // One attempt to get the reader back, and how it went.
  void RecoveryTry(int attempt, std::string_view outcome) noexcept;
  void Recovered() noexcept;

 private:
  template <typename Make>
  void Line(Make&& make) noexcept;

  std::atomic<bool> enabled_{false};
  std::atomic<TraceWriter*> writer_;
  std::mutex lock_;
  std::string who_;
};

}  // namespace ra03v
