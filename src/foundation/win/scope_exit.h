#pragma once
// Runs a callable when the scope ends, unless dismissed.
#include <utility>

namespace ra03v {

template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (armed_) f_();
  }
  void Dismiss() noexcept { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace ra03v
