#pragma once
// Which card reads reach the host when repeats are suppressed: a code equal
// to the last one raised stays quiet while it keeps being read with gaps
// shorter than the window; absent longer, or a different code, raises again.
//
// Threads: Pass on the port's event thread; SetWindow and Reset on the host's
// thread, also while reads arrive.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace ra03v {

class RepeatFilter {
 public:
  // 0 lets every read through.
  void SetWindow(uint32_t milliseconds) noexcept { window_ = milliseconds; }
  uint32_t Window() const noexcept { return window_; }
  // Forgets the last code: the next read raises whatever it is.
  void Reset();
  // Whether the read of card at nowMs raises an event; when it does not,
  // gapMs is the time since the same code was last read.
  bool Pass(const std::string& card, uint64_t nowMs, uint64_t& gapMs);

 private:
  std::atomic<uint32_t> window_{0};
  std::mutex lock_;
  bool raised_ = false;
  std::string last_;
  uint64_t lastRead_ = 0;
};

}  // namespace ra03v
