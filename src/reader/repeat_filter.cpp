#include "reader/repeat_filter.h"

namespace ra03v {

void RepeatFilter::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  raised_ = false;
  last_.clear();
}

bool RepeatFilter::Pass(const std::string& card, uint64_t nowMs, uint64_t& gapMs) {
  std::lock_guard<std::mutex> guard(lock_);
  // Kept with the window off too, so that switching it on mid-stream knows
  // the card being held.
  const bool repeat = raised_ && card == last_;
  gapMs = nowMs - lastRead_;
  lastRead_ = nowMs;
  if (repeat && gapMs < window_) return false;
  raised_ = true;
  last_ = card;
  return true;
}

}  // namespace ra03v
