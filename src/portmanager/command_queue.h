#pragma once
// The commands of one port manager run: writes and reads, head first.
#include <cstdint>
#include <deque>
#include <string>

namespace ra03v {

struct TCmd {
  uint8_t IsWrite = 1;
  int32_t ExpectedLength = 0;  // a read completes when this many bytes are buffered
  std::string WriteData;
  uint8_t Answered = 0;
  uint8_t Started = 0;
};

class TCmdList {
 public:
  bool Empty() const noexcept { return items_.empty(); }
  int Count() const noexcept { return static_cast<int>(items_.size()); }
  TCmd& Head() { return items_.front(); }
  void RemoveHead() { items_.pop_front(); }
  void Add(TCmd command) { items_.push_back(std::move(command)); }
  void Clear() noexcept { items_.clear(); }
  // Whether a read command (one that waits for a reply) is queued.
  bool HasRead() const noexcept {
    for (const TCmd& c : items_)
      if (!c.IsWrite) return true;
    return false;
  }

 private:
  std::deque<TCmd> items_;
};

}  // namespace ra03v
