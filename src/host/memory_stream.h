#pragma once
// A growable byte stream on a movable global-heap block, used to serialise values.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace ra03v {

class TMyMemoryStream {
 public:
  TMyMemoryStream() noexcept = default;
  TMyMemoryStream(const TMyMemoryStream&) = delete;
  TMyMemoryStream& operator=(const TMyMemoryStream&) = delete;
  ~TMyMemoryStream() { Clear(); }

  // Copies n bytes in at the position; grows by at least 500,000 bytes at a time.
  void Write(const void* buffer, int32_t n);
  // Copies n bytes out; raises the read error when they lie beyond the content.
  void Read(void* buffer, int32_t n) {
    if (position_ < 0 || n <= 0) return;
    if (int64_t{position_} + n > size_) RaiseReadError(n);
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
  }
  // Moves the position; a position beyond the content extends it (zero-filled).
  void Seek(int32_t p);
  // Frees the memory: capacity, size and position 0.
  void Clear() noexcept;
  // Writes the content to a file created or overwritten.
  void SaveToFile(const std::wstring& name) const;

  int32_t Position() const noexcept { return position_; }
  int32_t Size() const noexcept { return size_; }
  int32_t Capacity() const noexcept { return capacity_; }
  int32_t Remaining() const noexcept { return size_ > position_ ? size_ - position_ : 0; }
  // The content (valid until the stream grows or is cleared).
  const unsigned char* Memory() const noexcept { return data_; }
  unsigned char* Memory() noexcept { return data_; }

 private:
  void Grow(int64_t needed);
  [[noreturn]] void RaiseReadError(int32_t n) const;

  int32_t position_ = 0;
  int32_t size_ = 0;
  int32_t capacity_ = 0;
  HGLOBAL block_ = nullptr;
  unsigned char* data_ = nullptr;  // block_ locked for the stream's life
};

}  // namespace ra03v
